#include "base/qv_path.h"
#include "base/qv_os.h"

#include "test_qv_path_sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// Stands in for GetFileAttributesW where Wine cannot produce the answer.
DWORD seam_error = 0;
int seam_calls = 0;
DWORD WINAPI failing_attributes(LPCWSTR)
{
    ++seam_calls;
    SetLastError(seam_error);
    return INVALID_FILE_ATTRIBUTES;
}
DWORD WINAPI everything_exists(LPCWSTR)
{
    ++seam_calls;
    return FILE_ATTRIBUTE_NORMAL;
}

class AttributeSeam {
public:
    explicit AttributeSeam(DWORD(WINAPI* fake)(LPCWSTR)) { qv_path_get_attributes = fake; seam_calls = 0; }
    ~AttributeSeam() { qv_path_get_attributes = qv_get_file_attributes; }
};

using QvPathFs = QvPathSandbox;

TEST_F(QvPathFs, ExistsCountsEncryptionRefusalsAsExisting)
{
    make_file(L"f.txt");
    EXPECT_TRUE(QV_path(at(L"f.txt").c_str()).exists());
    EXPECT_TRUE(QV_path(root_.c_str()).exists());
    EXPECT_FALSE(QV_path(at(L"missing").c_str()).exists());

    AttributeSeam seam(failing_attributes);
    const struct {
        DWORD error;
        bool exists;
    } cases[] = {{6000, true}, {6002, true}, {6199, true}, {5999, false}, {6200, false},
                 {ERROR_FILE_NOT_FOUND, false}, {ERROR_ACCESS_DENIED, false}};
    for (const auto& c : cases) {
        seam_error = c.error;
        EXPECT_EQ(c.exists, QV_path(L"C:\\any").exists()) << "error " << c.error;
    }
    seam_calls = 0;
    EXPECT_FALSE(QV_path(L"").exists());
    EXPECT_FALSE(QV_path(nullptr).exists());
    EXPECT_EQ(0, seam_calls) << "no text is no question for the file system";
}

TEST_F(QvPathFs, KindIsCachedUntilTheTextChanges)
{
    make_file(L"f.txt");
    QV_path file(at(L"f.txt").c_str());
    QV_path folder(root_.c_str());
    EXPECT_TRUE(file.is_file());
    EXPECT_EQ(QV_path::kind_file, file.flags());
    EXPECT_FALSE(folder.is_file());
    EXPECT_FALSE(folder.is_root());
    EXPECT_EQ(QV_path::kind_directory | QV_path::root_no, folder.flags());

    // The cache is not refreshed when the file system changes afterwards...
    ASSERT_TRUE(DeleteFileW(at(L"f.txt").c_str()));
    ASSERT_TRUE(CreateDirectoryW(at(L"f.txt").c_str(), nullptr));
    EXPECT_TRUE(file.is_file());
    // ...but a new text asks again.
    file.assign(at(L"f.txt").c_str());
    EXPECT_FALSE(file.is_file());
    EXPECT_TRUE(QV_path(L"C:\\").is_root());
}

TEST_F(QvPathFs, FullAndLongForms)
{
    QvCurrentFolder inside(root_);
    EXPECT_TRUE(QV_path(L"x\\..\\y\\f").full_path().equals_no_case(at(L"y\\f").c_str()));
    EXPECT_EQ(L"", text_of(QV_path(L"").full_path()));
    EXPECT_EQ(nullptr, QV_path(nullptr).full_path().c_str());

    make_file(L"A long file name.text");
    wchar_t short_form[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(at(L"A long file name.text").c_str(), short_form, MAX_PATH));
    ASSERT_NE(at(L"A long file name.text"), std::wstring(short_form)) << "no 8.3 name to test with";
    EXPECT_TRUE(QV_path(short_form).long_path().equals_no_case(at(L"A long file name.text").c_str()));
    // A path the call cannot resolve comes back unchanged.
    EXPECT_EQ(at(L"missing\\x"), text_of(QV_path(at(L"missing\\x").c_str()).long_path()));
    EXPECT_EQ(L"", text_of(QV_path(L"").long_path()));
}

TEST_F(QvPathFs, CreateDirectoryTreeMakesMissingLevels)
{
    QV_path deep(at(L"x\\y").c_str());
    EXPECT_TRUE(deep.create_directory_tree());
    EXPECT_TRUE(is_directory(L"x"));
    EXPECT_TRUE(is_directory(L"x\\y"));
    EXPECT_TRUE(deep.create_directory_tree()) << "an existing directory is a success";
    EXPECT_TRUE(QV_path(at(L"p\\q\\").c_str()).create_directory_tree())
        << "a trailing backslash names the same directory";
    EXPECT_TRUE(is_directory(L"p\\q"));
    EXPECT_TRUE(QV_path(L"C:\\").create_directory_tree());

    make_file(L"file");
    EXPECT_FALSE(QV_path(at(L"file").c_str()).create_directory_tree());
    EXPECT_FALSE(QV_path(at(L"file\\sub\\deeper").c_str()).create_directory_tree());
    EXPECT_FALSE(is_directory(L"file\\sub"));
    EXPECT_FALSE(QV_path(L"").create_directory_tree());
    EXPECT_FALSE(QV_path(nullptr).create_directory_tree());

    {
        // A relative tree needs its first component to exist already.
        QvCurrentFolder inside(root_);
        EXPECT_FALSE(QV_path(L"fresh\\sub").create_directory_tree());
        EXPECT_FALSE(is_directory(L"fresh"));
        EXPECT_TRUE(QV_path(L"x\\new").create_directory_tree());
        EXPECT_TRUE(is_directory(L"x\\new"));
    }
}

TEST_F(QvPathFs, UniqueNameFindsTheFirstFreeNumber)
{
    make_file(L"report.txt");
    make_file(L"report (1).txt");
    make_file(L"data");
    EXPECT_EQ(at(L"report (2).txt"), text_of(QV_path(at(L"report.txt").c_str()).unique_name()));
    EXPECT_EQ(at(L"data (1)"), text_of(QV_path(at(L"data").c_str()).unique_name()));
    EXPECT_EQ(at(L"none.txt"), text_of(QV_path(at(L"none.txt").c_str()).unique_name()));

    make_file(L"100%d%s%n.txt");
    EXPECT_EQ(at(L"100%d%s%n (1).txt"), text_of(QV_path(at(L"100%d%s%n.txt").c_str()).unique_name()));
    {
        QvCurrentFolder inside(root_);
        EXPECT_EQ(L"report (2).txt", text_of(QV_path(L"report.txt").unique_name()));
    }
    EXPECT_EQ(nullptr, QV_path(nullptr).unique_name().c_str());
}

TEST_F(QvPathFs, UniqueNameGivesUpAfter65535Candidates)
{
    AttributeSeam seam(everything_exists);
    EXPECT_EQ(L"", text_of(QV_path(L"C:\\dir\\report.txt").unique_name()));
    EXPECT_EQ(1 + 65535, seam_calls);
}

TEST_F(QvPathFs, SamePathThroughCaseShortAndRelativeForms)
{
    // Equal texts decide without the file system: the drive need not exist.
    EXPECT_TRUE(same_path(QV_path(L"Q:\\Dir\\File.TXT"), QV_path(L"q:\\dir\\file.txt")));
    EXPECT_FALSE(same_path(QV_path(L"C:\\x"), QV_path(L"D:\\x")));
    EXPECT_TRUE(same_path(QV_path(nullptr), QV_path(nullptr)));
    EXPECT_FALSE(same_path(QV_path(nullptr), QV_path(L"")));
    EXPECT_TRUE(same_path(QV_path(L""), QV_path(L"")));

    make_file(L"A long file name.text");
    make_file(L"other.txt");
    std::wstring long_form = at(L"A long file name.text");
    wchar_t short_form[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(long_form.c_str(), short_form, MAX_PATH));
    EXPECT_TRUE(same_path(QV_path(short_form), QV_path(long_form.c_str())));
    EXPECT_TRUE(same_path(QV_path(at(L"sub\\..\\other.txt").c_str()), QV_path(at(L"other.txt").c_str())));
    EXPECT_FALSE(same_path(QV_path(short_form), QV_path(at(L"other.txt").c_str())));
    QvCurrentFolder inside(root_);
    EXPECT_TRUE(same_path(QV_path(L"other.txt"), QV_path(at(L"other.txt").c_str())));
}

TEST_F(QvPathFs, HugeAndHostileTextsFailCleanly)
{
    // 32,000 characters in one component, and in about 320 levels below a file:
    // every operation answers, nothing is created.
    std::wstring one_component = at(std::wstring(32000 - root_.size() - 1, L'n'));
    std::wstring many_levels = at(L"file");
    while (many_levels.size() < 32000)
        many_levels += L"\\" + std::wstring(98, L'd') + L"%";
    make_file(L"file");
    for (const std::wstring& text : {one_component, many_levels}) {
        QV_path huge(text.c_str());
        EXPECT_FALSE(huge.exists());
        EXPECT_TRUE(huge.is_file());
        EXPECT_FALSE(huge.is_root());
        EXPECT_FALSE(huge.create_directory_tree());
        EXPECT_EQ(text, text_of(huge.unique_name()));
        EXPECT_EQ(text, text_of(huge.long_path()));
        EXPECT_EQ(text, text_of(huge.full_path())) << "already absolute; a cut path is never a result";
        EXPECT_TRUE(same_path(huge, QV_path(text.c_str())));
        EXPECT_FALSE(same_path(huge, QV_path(L"C:\\x")));
        EXPECT_EQ(huge.length() + 2, join(huge, QV_string(L"x")).length());
        EXPECT_LT(huge.parent().length(), huge.length());
    }
    EXPECT_EQ(std::wstring(98, L'd') + L"%", text_of(QV_path(many_levels.c_str()).file_name()));
    EXPECT_EQ(L"", text_of(QV_path(many_levels.c_str()).extension()));

    // Texts around the length where a fixed buffer in the long-form lookup ends.
    for (size_t length : {1000u, 1023u, 1024u, 1100u}) {
        std::wstring text = L"C:\\" + std::wstring(length - 3, L'a');
        EXPECT_EQ(text, text_of(QV_path(text.c_str()).long_path())) << length;
    }
}

} // namespace
