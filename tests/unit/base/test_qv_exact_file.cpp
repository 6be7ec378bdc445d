#include "base/qv_exact_file.h"
#include "qv_os_faults.h"
#include "test_qv_path_sandbox.h"

#include <string>
#include <vector>

namespace {

constexpr QV_exact_open APPEND{FILE_APPEND_DATA, FILE_SHARE_READ, true, 0};
constexpr QV_exact_open READ{FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, false, 0};

class ExactFile : public QvPathSandbox {
protected:
    void SetUp() override
    {
        QvPathSandbox::SetUp();
        ASSERT_TRUE(qv_open_exact_folder(root_.c_str(), folder));
    }

    // Opens name with sentinels set; checks what a refusal must leave.
    testing::AssertionResult refused(const std::wstring& name, DWORD expected_error, const QV_exact_open& how = APPEND)
    {
        bool created = true;
        QV_exact_memo memo{true, 7, 0x5EED};
        SetLastError(0xdeadbeef);
        QV_file file = qv_open_exact_file(folder, name.c_str(), how, &created, &memo);
        DWORD error = GetLastError();
        if (file || created || !memo.known || memo.volume != 7 || memo.index != 0x5EED || error != expected_error)
            return testing::AssertionFailure() << "opened " << file.valid() << ", created " << created
                                               << ", memo " << memo.known << ":" << memo.index << ", error " << error;
        return testing::AssertionSuccess();
    }

    std::wstring short_form(const std::wstring& path)
    {
        wchar_t buffer[MAX_PATH];
        DWORD length = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
        return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
    }

    QV_exact_folder folder;
};

// Created once, exclusively; then the same file, whatever form the folder's path
// was given in and whatever the case of the name.
TEST_F(ExactFile, CreatesOnceThenOpensTheSameFile)
{
    ASSERT_TRUE(CreateDirectoryW(at(L"long folder name").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(at(L"long folder name\\sub").c_str(), nullptr));
    QV_exact_folder inner;
    ASSERT_TRUE(qv_open_exact_folder(at(L"long folder name").c_str(), inner));
    bool created = false;
    QV_exact_memo memo;
    ASSERT_TRUE(qv_open_exact_file(inner, L"TraceFile.qv", APPEND, &created, &memo).valid());
    EXPECT_TRUE(created);
    EXPECT_TRUE(memo.known);
    std::wstring folder_short = short_form(at(L"long folder name"));
    ASSERT_FALSE(folder_short.empty());
    for (const std::wstring& place : {at(L"long folder name"), at(L"long folder name\\sub\\.."),
                                      at(L"long folder name/"), folder_short, qv_long_form(at(L"long folder name"))}) {
        SCOPED_TRACE(testing::PrintToString(place));
        QV_exact_folder again;
        ASSERT_TRUE(qv_open_exact_folder(place.c_str(), again)) << GetLastError();
        created = true;
        QV_exact_memo fresh;
        EXPECT_TRUE(qv_open_exact_file(again, L"tracefile.QV", APPEND, &created, &fresh).valid()) << GetLastError();
        EXPECT_FALSE(created);
        EXPECT_EQ(memo.index, fresh.index);
        EXPECT_EQ(memo.volume, fresh.volume);
    }
}

// Names that open the file but are not its own name, a file with a second name, a
// folder where the file was expected, and names that are not one component.
TEST_F(ExactFile, RefusesEveryOtherNameOfTheFile)
{
    make_file(L"TraceFile.qv");
    std::wstring file_short = short_form(at(L"TraceFile.qv"));
    ASSERT_NE(L"", file_short);
    std::wstring short_name = file_short.substr(file_short.rfind(L'\\') + 1);
    ASSERT_NE(L"TraceFile.qv", short_name);
    EXPECT_TRUE(refused(short_name, ERROR_ACCESS_DENIED));

    ASSERT_TRUE(CreateHardLinkW(at(L"second.qv").c_str(), at(L"TraceFile.qv").c_str(), nullptr));
    EXPECT_TRUE(refused(L"TraceFile.qv", ERROR_ACCESS_DENIED));
    EXPECT_TRUE(refused(L"second.qv", ERROR_ACCESS_DENIED));

    ASSERT_TRUE(CreateDirectoryW(at(L"folder.qv").c_str(), nullptr));
    bool created = true;
    EXPECT_FALSE(qv_open_exact_file(folder, L"folder.qv", APPEND, &created).valid());
    EXPECT_FALSE(created);
    for (const wchar_t* name : {L"", L".", L"..", L"folder.qv\\x", L"a/b", L"TraceFile.qv:stream", L"TraceFile.qv.",
                                L"TraceFile.qv "}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        EXPECT_TRUE(refused(name, ERROR_BAD_PATHNAME));
    }
    EXPECT_EQ((std::vector<std::wstring>{L"folder.qv", L"second.qv", L"TraceFile.qv"}), qv_folder_entries(root_));
}

// A missing file is created only when asked; a created file that fails a check is
// taken back, so a refusal never leaves a file behind.
TEST_F(ExactFile, LeavesNothingBehindWhenItRefuses)
{
    EXPECT_TRUE(refused(L"missing.qv", ERROR_FILE_NOT_FOUND, READ));
    {
        // The layer's calls: the open finds nothing, the create runs, the first
        // check fails.
        QV_os_faults faults(QV_os_faults::Mode::fail, 3, ERROR_ACCESS_DENIED);
        EXPECT_TRUE(refused(L"TraceFile.qv", ERROR_ACCESS_DENIED));
        EXPECT_EQ(QV_os_call::file_info, faults.hit());
    }
    EXPECT_EQ(std::vector<std::wstring>{}, qv_folder_entries(root_));
}

} // namespace
