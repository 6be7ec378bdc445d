#include "cab/qv_cab_basic.h"
#include "cab_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

class CabWriter : public testing::Test {
protected:
    Sandbox box{L"writer"};

    std::wstring source(const wchar_t* name, const std::string& content)
    {
        std::wstring path = box.file(name);
        EXPECT_TRUE(write_file(path, content));
        return path;
    }
    bool only_entries_are(std::vector<std::wstring> expected) const
    {
        std::vector<std::wstring> actual = box.entries();
        std::sort(actual.begin(), actual.end());
        std::sort(expected.begin(), expected.end());
        return actual == expected;
    }
};

TEST_F(CabWriter, WritesTheNamedFilesUnderTheDestinationNameOnly)
{
    std::wstring a = source(L"a.txt", "alpha");
    std::wstring b = source(L"b.bin", std::string(40000, 'b'));
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    ASSERT_TRUE(cab.is_open());
    EXPECT_TRUE(cab.add_file(a.c_str(), L"SysTraceFile.qv"));
    EXPECT_TRUE(cab.add_file(b.c_str()));  // under its own name
    ASSERT_TRUE(cab.flush());
    EXPECT_TRUE(only_entries_are({L"a.txt", L"b.bin", L"out.cab"}));

    Cab_directory dir = read_cab_directory(box.file(L"out.cab"));
    ASSERT_TRUE(dir.valid);
    ASSERT_EQ(2u, dir.files.size());
    EXPECT_EQ("SysTraceFile.qv", dir.files[0].name);
    EXPECT_EQ(5u, dir.files[0].size);
    EXPECT_EQ("b.bin", dir.files[1].name);
    EXPECT_EQ(40000u, dir.files[1].size);
}

TEST_F(CabWriter, ADestinationWithoutFolderLandsInTheCurrentFolder)
{
    std::wstring a = source(L"a.txt", "alpha");
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(box.path().c_str()));
    bool flushed = false;
    {
        QV_cab_basic cab(L"trace.cab");
        cab.add_file(a.c_str(), L"a.txt");
        flushed = cab.flush();
    }
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(flushed);
    EXPECT_TRUE(only_entries_are({L"a.txt", L"trace.cab"}));
}

TEST_F(CabWriter, AnUnreadableSourceIsLeftOutAndTheOthersStillFlush)
{
    std::wstring a = source(L"a.txt", "alpha");
    std::wstring held = source(L"held.txt", "held");
    HANDLE writer = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    EXPECT_FALSE(cab.add_file(box.file(L"missing.txt").c_str(), L"missing.txt"));
    EXPECT_FALSE(cab.add_file(box.file(L"missing.txt").c_str()));
    EXPECT_FALSE(cab.add_file(held.c_str(), L"held.txt"));
    EXPECT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
    EXPECT_TRUE(cab.flush());
    CloseHandle(writer);
    Cab_directory dir = read_cab_directory(box.file(L"out.cab"));
    ASSERT_TRUE(dir.valid);
    ASSERT_EQ(1u, dir.files.size());
    EXPECT_EQ("a.txt", dir.files[0].name);
}

// The cabinet library finishes an archive without files: a bare 36-byte header
// with no folder and no file (independent readers call it "no valid cabinet").
TEST_F(CabWriter, AnArchiveWithoutFilesIsABareHeader)
{
    QV_cab_basic cab(box.file(L"empty.cab").c_str());
    EXPECT_FALSE(cab.add_file(box.file(L"missing").c_str(), L"UsrTraceFile.qv"));
    ASSERT_TRUE(cab.flush());
    Cab_directory dir = read_cab_directory(box.file(L"empty.cab"));
    ASSERT_TRUE(dir.valid);
    EXPECT_EQ(36u, dir.cabinet_size);
    EXPECT_EQ(0u, dir.folders);
    EXPECT_TRUE(dir.files.empty());
}

TEST_F(CabWriter, ReleasedWithoutFlushLeavesNothingBehind)
{
    std::wstring a = source(L"a.txt", "alpha");
    {
        QV_cab_basic cab(box.file(L"out.cab").c_str());
        ASSERT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
    }
    EXPECT_TRUE(only_entries_are({L"a.txt"}));
}

TEST_F(CabWriter, AFailedFlushLeavesNoArchiveUnderAnyName)
{
    // The destination is taken by a folder: the finished archive cannot be put
    // there, and nothing half-written stays beside it.
    std::wstring a = source(L"a.txt", "alpha");
    ASSERT_TRUE(CreateDirectoryW(box.file(L"out.cab").c_str(), nullptr));
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    ASSERT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
    EXPECT_FALSE(cab.flush());
    EXPECT_FALSE(cab.flush());
    EXPECT_TRUE(only_entries_are({L"a.txt", L"out.cab"}));
    DWORD attributes = GetFileAttributesW(box.file(L"out.cab").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(CabWriter, ReplacesAnExistingArchive)
{
    std::wstring a = source(L"a.txt", "alpha");
    source(L"out.cab", "old archive");
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    ASSERT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
    ASSERT_TRUE(cab.flush());
    EXPECT_TRUE(read_cab_directory(box.file(L"out.cab")).valid);
}

TEST_F(CabWriter, RefusesDestinationsThatWouldBeCut)
{
    std::wstring long_name(256, L'n');
    EXPECT_FALSE(QV_cab_basic(box.file(long_name).c_str()).is_open());
    EXPECT_FALSE(QV_cab_basic((box.path() + L"\\").c_str()).is_open());  // no file name
    std::wstring deep = box.path() + L"\\" + std::wstring(260 - box.path().size(), L'd') + L"\\x.cab";
    EXPECT_FALSE(QV_cab_basic(deep.c_str()).is_open());
    EXPECT_FALSE(QV_cab_basic(box.file(L"no such folder\\x.cab").c_str()).is_open());
    EXPECT_TRUE(only_entries_are({}));
}

// Names outside the ANSI code page never reach the library as best-fit text:
// a source goes by its short name, and so does the stored name of a one-argument add.
TEST_F(CabWriter, NamesOutsideTheAnsiCodePage)
{
    std::wstring accented = source(L"caf\u00e9.txt", "latin");        // in code page 1252
    std::wstring cyrillic = source(L"\u0436\u0443\u0440\u043d\u0430\u043b.txt", "cyrillic");
    std::wstring destination = box.file(L"\u0430\u0440\u0445\u0438\u0432.cab");
    QV_cab_basic cab(destination.c_str());
    ASSERT_TRUE(cab.is_open());
    EXPECT_TRUE(cab.add_file(accented.c_str()));
    EXPECT_TRUE(cab.add_file(cyrillic.c_str(), L"UsrTraceFile.qv"));
    EXPECT_TRUE(cab.add_file(cyrillic.c_str()));
    EXPECT_FALSE(cab.add_file(accented.c_str(), L"\u0436.txt"));  // a stored name with no exact form
    ASSERT_TRUE(cab.flush());

    Cab_directory dir = read_cab_directory(destination);
    ASSERT_TRUE(dir.valid);
    ASSERT_EQ(3u, dir.files.size());
    EXPECT_EQ("caf\xe9.txt", dir.files[0].name);
    EXPECT_EQ(5u, dir.files[0].size);
    EXPECT_EQ("UsrTraceFile.qv", dir.files[1].name);
    EXPECT_EQ(8u, dir.files[1].size);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(cyrillic.c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    std::wstring short_name = found.cAlternateFileName;
    EXPECT_EQ(std::string(short_name.begin(), short_name.end()), dir.files[2].name);
    EXPECT_EQ(8u, dir.files[2].size);
}

}  // namespace
