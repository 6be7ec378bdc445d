#include "base/qv_exact_file.h"
#include "test_qv_path_sandbox.h"

#include <string>
#include <vector>

namespace {

constexpr QV_exact_open APPEND{FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL};

class ExactFile : public QvPathSandbox {
protected:
    // Opens path with sentinels set; checks what a refusal must leave.
    testing::AssertionResult refused(const std::wstring& path, DWORD expected_error)
    {
        bool created = true;
        QV_exact_memo memo{true, 0x5EED};
        SetLastError(0xdeadbeef);
        QV_file file = qv_open_exact_file(path.c_str(), APPEND, &created, &memo);
        DWORD error = GetLastError();
        if (file || created || !memo.known || memo.index != 0x5EED || error != expected_error)
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
};

TEST_F(ExactFile, OpensTheFileAtThePlaceWhateverFormTheFolderIsGivenIn)
{
    ASSERT_TRUE(CreateDirectoryW(at(L"long folder name").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(at(L"long folder name\\sub").c_str(), nullptr));
    bool created = false;
    QV_exact_memo memo;
    {
        QV_file first = qv_open_exact_file(at(L"long folder name\\TraceFile.qv").c_str(), APPEND, &created, &memo);
        ASSERT_TRUE(first.valid());
        EXPECT_TRUE(created);
        EXPECT_TRUE(memo.known);
    }
    std::wstring folder_short = short_form(at(L"long folder name"));
    ASSERT_FALSE(folder_short.empty());
    for (const std::wstring& path : {at(L"long folder name\\TraceFile.qv"), at(L"long folder name\\tracefile.QV"),
                                     at(L"long folder name\\sub\\..\\TraceFile.qv"),
                                     at(L"long folder name/TraceFile.qv"), folder_short + L"\\TraceFile.qv",
                                     qv_long_form(at(L"long folder name\\TraceFile.qv"))}) {
        SCOPED_TRACE(testing::PrintToString(path));
        created = true;
        QV_exact_memo fresh;
        EXPECT_TRUE(qv_open_exact_file(path.c_str(), APPEND, &created, &fresh).valid()) << GetLastError();
        EXPECT_FALSE(created);
        EXPECT_EQ(memo.index, fresh.index);
    }
}

// Names that open the file but are not its own name at that place, a file with a
// second name, and a folder where the file was expected are all refused.
TEST_F(ExactFile, RefusesEveryOtherNameOfTheFile)
{
    make_file(L"TraceFile.qv");
    std::wstring file_short = short_form(at(L"TraceFile.qv"));
    ASSERT_NE(L"", file_short);
    ASSERT_NE(at(L"TraceFile.qv"), file_short);
    EXPECT_TRUE(refused(file_short, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(refused(at(L"TraceFile.qv."), ERROR_ACCESS_DENIED));

    ASSERT_TRUE(CreateHardLinkW(at(L"second.qv").c_str(), at(L"TraceFile.qv").c_str(), nullptr));
    EXPECT_TRUE(refused(at(L"TraceFile.qv"), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(refused(at(L"second.qv"), ERROR_ACCESS_DENIED));

    ASSERT_TRUE(CreateDirectoryW(at(L"folder.qv").c_str(), nullptr));
    bool created = true;
    EXPECT_FALSE(qv_open_exact_file(at(L"folder.qv").c_str(), APPEND, &created).valid());
    EXPECT_FALSE(created);
    EXPECT_TRUE(refused(L"TraceFile.qv", ERROR_BAD_PATHNAME));
    EXPECT_TRUE(refused(at(L""), ERROR_BAD_PATHNAME));
}

} // namespace
