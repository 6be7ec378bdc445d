// The removal by handle: what goes, what stays and is named, and nothing outside
// the root touched when the tree changes between a folder's listing and the
// descent into it.

#include "base/qv_tree_delete.h"

#include "base/qv_os.h"
#include "base/qv_path.h"

#include "test_qv_path_sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

bool present(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class QvTreeDelete : public QvPathSandbox {
protected:
    void SetUp() override
    {
        QvPathSandbox::SetUp();
        make_tree();
        CreateDirectoryW(at(L"t\\empty").c_str(), nullptr);
        make_file(L"t sibling.txt");
    }
    // t, t\sub, t\sub\deeper, a file in each.
    void make_tree()
    {
        CreateDirectoryW(at(L"t").c_str(), nullptr);
        CreateDirectoryW(at(L"t\\sub").c_str(), nullptr);
        CreateDirectoryW(at(L"t\\sub\\deeper").c_str(), nullptr);
        make_file(L"t\\a.txt");
        make_file(L"t\\sub\\b.txt");
        make_file(L"t\\sub\\deeper\\c.txt");
    }
    void TearDown() override
    {
        qv_delete_tree_listed = nullptr;
        QvPathSandbox::TearDown();
    }

    DWORD remove(const std::wstring& root, QV_string* stayed = nullptr)
    {
        return qv_delete_tree(QV_string(root.c_str()), stayed);
    }
};

// The plain, the "\\?\" and the trailing-backslash spellings of a root, and a
// file as the root: all of it goes, nothing beside it.
TEST_F(QvTreeDelete, EverySpellingOfTheRootRemovesTheWholeTree)
{
    for (const std::wstring& root : {at(L"t"), L"\\\\?\\" + at(L"t"), at(L"t") + L"\\", at(L"t sibling.txt")}) {
        SCOPED_TRACE(testing::PrintToString(root));
        if (!present(at(L"t"))) {
            CreateDirectoryW(at(L"t").c_str(), nullptr);
            CreateDirectoryW(at(L"t\\sub").c_str(), nullptr);
            make_file(L"t\\sub\\b.txt");
        }
        QV_string stayed(L"untouched");
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), remove(root, &stayed));
        EXPECT_STREQ(L"untouched", stayed.c_str());
        EXPECT_FALSE(present(qv_plain_path(QV_string(root.c_str())).c_str()));
    }
    EXPECT_TRUE(present(at(L"t")));  // made again for the file root, left alone by it
    // Typed by its short name, the root is the same entry, named by the system by its long one.
    CreateDirectoryW(at(L"long named tree").c_str(), nullptr);
    make_file(L"long named tree\\x.txt");
    wchar_t short_form[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(at(L"long named tree").c_str(), short_form, MAX_PATH));
    ASSERT_EQ(std::wstring::npos, std::wstring(short_form).find(L"long named tree"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), remove(short_form));
    EXPECT_FALSE(present(at(L"long named tree")));
}

// Everything that can go goes; the first entry that stays is named with its error.
TEST_F(QvTreeDelete, HeldFileStaysNamedAndEverythingElseGoes)
{
    HANDLE holder = CreateFileW(at(L"t\\sub\\deeper\\c.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    QV_string stayed;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), remove(at(L"t"), &stayed));
    CloseHandle(holder);
    EXPECT_EQ(at(L"t\\sub\\deeper\\c.txt"), stayed.c_str());
    EXPECT_TRUE(present(at(L"t\\sub\\deeper\\c.txt")));
    EXPECT_FALSE(present(at(L"t\\a.txt")) || present(at(L"t\\sub\\b.txt")) || present(at(L"t\\empty")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), remove(at(L"t")));
    EXPECT_FALSE(present(at(L"t")));
    EXPECT_TRUE(present(at(L"t sibling.txt")));
}

TEST_F(QvTreeDelete, PatternsAndMissingRootsAreNamedAndNothingGoes)
{
    const std::pair<std::wstring, DWORD> cases[] = {
        {at(L"t*"), ERROR_INVALID_NAME},  // "t*" would find "t sibling.txt"
        {L"\\\\?\\" + at(L"t?sibling.txt"), ERROR_INVALID_NAME},
        {at(L"missing"), ERROR_FILE_NOT_FOUND},
    };
    for (const auto& [root, error] : cases) {
        SCOPED_TRACE(testing::PrintToString(root));
        QV_string stayed;
        EXPECT_EQ(error, remove(root, &stayed));
        EXPECT_STREQ(qv_plain_path(QV_string(root.c_str())).c_str(), stayed.c_str());
    }
    EXPECT_TRUE(present(at(L"t\\a.txt")) && present(at(L"t sibling.txt")));
}

// Between the listing of a folder and the descent into it, its owner moves a
// listed folder away and puts an outside folder in its place under the same name
// (a link does the same where the system can make one). The entry opened by that
// name is not the one listed: it is neither entered nor removed, whatever it
// holds, and the failure is named. The rest goes.
std::wstring g_swap_in, g_swap_listed, g_swap_away, g_swap_outside;
void swap_when_listed(const wchar_t* folder)
{
    if (g_swap_in != folder)
        return;
    EXPECT_TRUE(MoveFileW(g_swap_listed.c_str(), g_swap_away.c_str()));
    EXPECT_TRUE(MoveFileW(g_swap_outside.c_str(), g_swap_listed.c_str()));
}

TEST_F(QvTreeDelete, FolderReplacedAfterTheListingIsNeitherEnteredNorRemoved)
{
    for (const std::wstring& form : {std::wstring(), std::wstring(L"\\\\?\\")}) {
        SCOPED_TRACE(testing::PrintToString(form));
        CreateDirectoryW(at(L"outside").c_str(), nullptr);
        make_file(L"outside\\keep.txt");
        CreateDirectoryW(at(L"outside\\deeper").c_str(), nullptr);
        make_file(L"outside\\deeper\\keep.txt");
        g_swap_in = at(L"t");
        g_swap_listed = at(L"t\\sub");
        g_swap_away = at(L"away");
        g_swap_outside = at(L"outside");
        qv_delete_tree_listed = swap_when_listed;
        QV_string stayed;
        EXPECT_EQ(static_cast<DWORD>(ERROR_CANT_ACCESS_FILE), remove(form + at(L"t"), &stayed));
        qv_delete_tree_listed = nullptr;
        EXPECT_EQ(at(L"t\\sub"), stayed.c_str());
        EXPECT_TRUE(present(at(L"t\\sub\\keep.txt")) && present(at(L"t\\sub\\deeper\\keep.txt")));
        EXPECT_TRUE(present(at(L"away\\b.txt")) && present(at(L"away\\deeper\\c.txt")));
        EXPECT_FALSE(present(at(L"t\\a.txt")) || present(at(L"t\\empty")));
        qv_remove_tree(at(L"t"));
        qv_remove_tree(at(L"away"));
        make_tree();
    }
}

TEST(QvExtendedPath, FormsGoBothWays)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\a\\b", L"\\\\?\\C:\\a\\b"},
        {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
    };
    for (const auto& [plain, extended] : cases) {
        EXPECT_STREQ(extended, qv_extended_path(QV_string(plain)).c_str());
        EXPECT_STREQ(extended, qv_extended_path(QV_string(extended)).c_str());
        EXPECT_STREQ(plain, qv_plain_path(QV_string(extended)).c_str());
        EXPECT_STREQ(plain, qv_plain_path(QV_string(plain)).c_str());
    }
    EXPECT_STREQ(L"\\\\.\\pipe\\x", qv_extended_path(QV_string(L"\\\\.\\pipe\\x")).c_str());
}

} // namespace
