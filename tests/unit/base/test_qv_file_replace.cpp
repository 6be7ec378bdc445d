// Replacing a file by a copy: the destination holds the old file or the whole new
// one, and nothing of the copy is left beside it, whatever fails.

#include "base/qv_file_replace.h"
#include "qv_os_faults.h"
#include "test_qv_path_sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string read_all(const std::wstring& path)
{
    HANDLE file = CreateFileW(qv_long_form(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "(missing)";
    std::string bytes(4096, '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

class QvFileReplace : public QvPathSandbox {
protected:
    void write(const std::wstring& relative, const std::string& bytes)
    {
        ASSERT_TRUE(qv_write_file(qv_long_form(at(relative)), bytes)) << testing::PrintToString(relative);
    }
    DWORD replace(const std::wstring& from, const std::wstring& to)
    {
        return qv_copy_file_replacing(QV_path(at(from).c_str()), QV_path(at(to).c_str()));
    }
};

TEST_F(QvFileReplace, ReplacesWithTheSourceAttributesAndLeavesNothingBeside)
{
    write(L"source", "new");
    write(L"destination", "old");
    SetFileAttributesW(at(L"source").c_str(), FILE_ATTRIBUTE_READONLY);
    int steps = 0;
    DWORD error = qv_copy_file_replacing(QV_path(at(L"source").c_str()), QV_path(at(L"destination").c_str()), [&] {
        ++steps;
        EXPECT_EQ("old", read_all(at(L"destination")));  // the new copy is complete, not yet in place
    });
    EXPECT_EQ(0u, error);
    EXPECT_EQ(1, steps);
    EXPECT_EQ("new", read_all(at(L"destination")));
    EXPECT_NE(0u, GetFileAttributesW(at(L"destination").c_str()) & FILE_ATTRIBUTE_READONLY);
    std::vector<std::wstring> expected{L"destination", L"source"};
    std::vector<std::wstring> left = qv_folder_entries(root_);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(expected, left);
    SetFileAttributesW(at(L"source").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(at(L"destination").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The rename is refused while another program holds the destination without
// delete sharing: the old file stays, and the temporary copy goes although it
// carries the source's read-only attribute.
// The copy is on the disk before it takes the name: a power cut after the rename
// finds the whole new file. (A failing flush is the sweep's.)
TEST_F(QvFileReplace, FlushesTheCopyBeforeItsRename)
{
    write(L"source", "new");
    write(L"destination", "old");
    SetFileAttributesW(at(L"source").c_str(), FILE_ATTRIBUTE_READONLY);  // a copy that refuses writers
    QV_os_faults calls;
    EXPECT_EQ(0u, replace(L"source", L"destination"));
    const std::vector<QV_os_call>& seen = calls.seen();
    auto flush = std::find(seen.begin(), seen.end(), QV_os_call::flush_file);
    EXPECT_NE(seen.end(), flush);
    EXPECT_NE(seen.end(), std::find(flush, seen.end(), QV_os_call::set_file_info));  // the rename
    EXPECT_EQ(seen.end(), std::find(seen.begin(), seen.end(), QV_os_call::move_file));
    EXPECT_EQ("new", read_all(at(L"destination")));
    EXPECT_NE(0u, GetFileAttributesW(at(L"destination").c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(at(L"source").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(at(L"destination").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(QvFileReplace, RefusedReplaceKeepsTheOldFileAndRemovesTheCopy)
{
    write(L"source", "new");
    write(L"destination", "old");
    SetFileAttributesW(at(L"source").c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE held = CreateFileW(at(L"destination").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    DWORD error = replace(L"source", L"destination");
    CloseHandle(held);
    SetFileAttributesW(at(L"source").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(0u, error);
    EXPECT_EQ("old", read_all(at(L"destination")));
    EXPECT_EQ(2u, qv_folder_entries(root_).size());
}

// Another user of the destination's folder moves the finished copy away from its
// temporary name and puts a file of their own there, just before the rename: the
// copy still takes the destination's place, and their file stays where they put
// it. The same when the rename is refused and the copy goes.
TEST_F(QvFileReplace, AFileSwappedForTheCopyIsNeitherMovedNorRemoved)
{
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "replaced");
        write(L"source", "new");
        write(L"destination", "old");
        HANDLE held = refused ? CreateFileW(at(L"destination").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr)
                              : INVALID_HANDLE_VALUE;
        std::wstring planted;
        bool planted_there = false;  // the system let them
        DWORD error = qv_copy_file_replacing(QV_path(at(L"source").c_str()), QV_path(at(L"destination").c_str()), [&] {
            for (const std::wstring& name : qv_folder_entries(root_))
                if (name.rfind(L"~qv", 0) == 0)
                    planted = at(name);
            ASSERT_FALSE(planted.empty());
            planted_there = MoveFileW(planted.c_str(), at(L"moved away").c_str())
                            && qv_write_file(qv_long_form(planted), "planted");
        });
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_EQ(refused, error != 0);
        EXPECT_EQ(refused ? "old" : "new", read_all(at(L"destination")));
        EXPECT_EQ(planted_there ? "planted" : "(missing)", read_all(planted));
        DeleteFileW(planted.c_str());
        DeleteFileW(at(L"moved away").c_str());
    }
}

TEST_F(QvFileReplace, FailuresBeforeTheCopyTouchNothing)
{
    write(L"destination", "old");
    ASSERT_TRUE(CreateDirectoryW(at(L"folder").c_str(), nullptr));
    write(L"folder\\inside", "inside");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), replace(L"missing", L"destination"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), replace(L"destination", L"folder"));
    EXPECT_EQ("old", read_all(at(L"destination")));
    EXPECT_EQ("inside", read_all(at(L"folder\\inside")));
    EXPECT_EQ(2u, qv_folder_entries(root_).size());
    EXPECT_EQ(1u, qv_folder_entries(at(L"folder")).size());
}

// A name of 253 characters at the end of a path longer than MAX_PATH.
TEST_F(QvFileReplace, AnyLengthTheSystemAccepts)
{
    std::wstring deep = std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e');
    ASSERT_TRUE(CreateDirectoryW(qv_long_form(at(std::wstring(120, L'd'))).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(qv_long_form(at(deep)).c_str(), nullptr));
    std::wstring target = deep + L"\\" + std::wstring(253, L'n');
    ASSERT_GT(at(target).size(), 500u);
    write(L"source", "new");
    write(target, "old");
    EXPECT_EQ(0u, replace(L"source", target));
    EXPECT_EQ("new", read_all(at(target)));
    EXPECT_EQ(1u, qv_folder_entries(qv_long_form(at(deep))).size());
}

TEST(QvExtendedPath, ShortAndLongPathsTakeTheExtendedForm)
{
    std::wstring long_name(300, L'x');
    const struct {
        std::wstring given;
        std::wstring expected;
    } rows[] = {
        {L"C:\\short", L"\\\\?\\C:\\short"},
        {L"C:\\" + long_name, L"\\\\?\\C:\\" + long_name},
        {L"\\\\server\\share\\" + long_name, L"\\\\?\\UNC\\server\\share\\" + long_name},
        {L"\\\\?\\C:\\" + long_name, L"\\\\?\\C:\\" + long_name},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.expected, text_of(qv_extended_path(QV_path(row.given.c_str()))));
}

} // namespace
