#include "base/qv_tree_walk.h"

#include "base/qv_os.h"
#include "base/qv_tree_delete.h"

#include "test_qv_path_sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

struct Seen {
    std::vector<std::wstring> steps;  // "<kind> <path relative to the root's folder>"
    std::vector<std::wstring> long_paths;
};

const wchar_t* kind_text(QV_walk_step::Kind kind)
{
    return kind == QV_walk_step::folder_entered ? L"enter " : kind == QV_walk_step::leaf ? L"leaf " : L"left ";
}

// Walks root, recording every step with its path relative to base.
DWORD walk(const std::wstring& root, const std::wstring& base, Seen& seen, QV_string* failed = nullptr)
{
    return qv_walk_tree(
        QV_string(root.c_str()),
        [&](const QV_walk_step& step) {
            std::wstring path(step.path, step.path_length);
            EXPECT_EQ(0u, path.rfind(base, 0)) << "outside the tree: " << testing::PrintToString(path);
            EXPECT_EQ(path.substr(path.rfind(L'\\') + 1), step.name);
            seen.steps.push_back(kind_text(step.kind) + path.substr(base.size()));
            seen.long_paths.push_back(step.long_path);
            return true;
        },
        failed);
}

// Every step's position, checked for: each entry once, a folder's entries
// between its own two steps.
void expect_tree_order(const std::vector<std::wstring>& steps, const std::vector<std::wstring>& expected)
{
    std::vector<std::wstring> sorted_steps = steps, sorted_expected = expected;
    std::sort(sorted_steps.begin(), sorted_steps.end());
    std::sort(sorted_expected.begin(), sorted_expected.end());
    ASSERT_EQ(sorted_expected, sorted_steps);
    std::map<std::wstring, size_t> at;
    for (size_t i = 0; i < steps.size(); ++i)
        at[steps[i]] = i;
    for (const std::wstring& step : steps) {
        std::wstring path = step.substr(step.find(L' ') + 1);
        std::wstring parent = path.substr(0, path.rfind(L'\\'));
        if (parent == path || !at.count(L"enter " + parent))
            continue;
        EXPECT_LT(at[L"enter " + parent], at[step]) << testing::PrintToString(step);
        EXPECT_GT(at[L"left " + parent], at[step]) << testing::PrintToString(step);
    }
}

class QvTreeWalk : public QvPathSandbox {
protected:
    void SetUp() override
    {
        QvPathSandbox::SetUp();
        CreateDirectoryW(at(L"t").c_str(), nullptr);
        CreateDirectoryW(at(L"t\\sub").c_str(), nullptr);
        CreateDirectoryW(at(L"t\\sub\\deeper").c_str(), nullptr);
        CreateDirectoryW(at(L"t\\empty").c_str(), nullptr);
        make_file(L"t\\a.txt");
        make_file(L"t\\sub\\b.txt");
        make_file(L"t\\sub\\deeper\\c.txt");
        make_file(L"t sibling.txt");
    }
    void TearDown() override
    {
        qv_walk_find_first = qv_find_first_file;
        qv_walk_find_next = qv_find_next_file;
        QvPathSandbox::TearDown();
    }
};

const std::vector<std::wstring> WHOLE_TREE = {
    L"enter \\t", L"leaf \\t\\a.txt", L"enter \\t\\sub", L"leaf \\t\\sub\\b.txt", L"enter \\t\\sub\\deeper",
    L"leaf \\t\\sub\\deeper\\c.txt", L"left \\t\\sub\\deeper", L"left \\t\\sub", L"enter \\t\\empty",
    L"left \\t\\empty", L"left \\t",
};

// The plain, the "\\?\" and the trailing-backslash spellings of a root walk the
// same tree and report the same plain paths.
TEST_F(QvTreeWalk, EverySpellingOfTheRootWalksTheWholeTreeOnce)
{
    for (const std::wstring& root : {at(L"t"), L"\\\\?\\" + at(L"t"), at(L"t") + L"\\"}) {
        SCOPED_TRACE(testing::PrintToString(root));
        Seen seen;
        QV_string failed(L"untouched");
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), walk(root, root_, seen, &failed));
        expect_tree_order(seen.steps, WHOLE_TREE);
        EXPECT_STREQ(L"untouched", failed.c_str());
        for (const std::wstring& long_path : seen.long_paths)
            EXPECT_EQ(0u, long_path.rfind(L"\\\\?\\" + root_ + L"\\t", 0)) << testing::PrintToString(long_path);
    }
    Seen file;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), walk(at(L"t\\a.txt"), root_, file));
    EXPECT_EQ(std::vector<std::wstring>{L"leaf \\t\\a.txt"}, file.steps);
}

// Stands in for the listing calls: fails the listing of one folder, or its
// listing after the first entry.
std::wstring g_failing_pattern;
DWORD g_listing_error = 0;
HANDLE WINAPI failing_find_first(LPCWSTR pattern, LPWIN32_FIND_DATAW found)
{
    if (g_failing_pattern != pattern)
        return FindFirstFileW(pattern, found);
    SetLastError(g_listing_error);
    return INVALID_HANDLE_VALUE;
}
HANDLE g_failing_search = INVALID_HANDLE_VALUE;
HANDLE WINAPI first_of_failing_listing(LPCWSTR pattern, LPWIN32_FIND_DATAW found)
{
    HANDLE search = FindFirstFileW(pattern, found);
    if (g_failing_pattern == pattern)
        g_failing_search = search;
    return search;
}
BOOL WINAPI failing_find_next(HANDLE search, LPWIN32_FIND_DATAW found)
{
    if (search != g_failing_search)
        return FindNextFileW(search, found);
    SetLastError(g_listing_error);
    return FALSE;
}

struct Listing_failure {
    const wchar_t* name;
    const wchar_t* pattern;  // relative to the sandbox, in "\\?\" form
    bool mid_listing;
    DWORD error;
    DWORD answer;
    const wchar_t* failed;
};

// A part that cannot be listed ends the walk with its error (never success,
// also when the system gives no error code) and is named; nothing in it is shown.
TEST_F(QvTreeWalk, APartThatCannotBeListedStopsTheWalk)
{
    const Listing_failure cases[] = {
        {L"subfolder", L"t\\sub\\*", false, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, L"t\\sub"},
        {L"root listing", L"t\\*", false, ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, L"t"},
        {L"root itself", L"t", false, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, L"t"},
        {L"no error code", L"t\\sub\\deeper\\*", false, 0, ERROR_PATH_NOT_FOUND, L"t\\sub\\deeper"},
        {L"mid listing", L"t\\sub\\*", true, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, L"t\\sub"},
        {L"mid listing, no code", L"t\\sub\\*", true, 0, ERROR_READ_FAULT, L"t\\sub"},
    };
    for (const Listing_failure& entry : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(entry.name)));
        g_failing_pattern = L"\\\\?\\" + at(entry.pattern);
        g_listing_error = entry.error;
        g_failing_search = INVALID_HANDLE_VALUE;
        qv_walk_find_first = entry.mid_listing ? first_of_failing_listing : failing_find_first;
        qv_walk_find_next = entry.mid_listing ? failing_find_next : qv_find_next_file;
        Seen seen;
        QV_string failed;
        EXPECT_EQ(entry.answer, walk(at(L"t"), root_, seen, &failed));
        EXPECT_EQ(at(entry.failed), failed.c_str());
        for (const std::wstring& step : seen.steps)
            EXPECT_EQ(std::wstring::npos, step.find(std::wstring(entry.failed) + L"\\")) << "listed past a failure";
    }
    qv_walk_find_first = qv_find_first_file;
    qv_walk_find_next = qv_find_next_file;
    Seen missing;
    QV_string failed;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), walk(at(L"missing"), root_, missing, &failed));
    EXPECT_TRUE(missing.steps.empty());
    EXPECT_EQ(at(L"missing"), failed.c_str());
}

// An endless chain of folders, each holding one folder of 200 characters: the
// walk must end when the path passes what any path can reach.
std::map<HANDLE, int> g_chain_positions;
HANDLE WINAPI chain_find_first(LPCWSTR pattern, LPWIN32_FIND_DATAW found)
{
    std::wstring text = pattern;
    if (text.size() < 2 || text.compare(text.size() - 2, 2, L"\\*") != 0)
        return FindFirstFileW(pattern, found);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    HANDLE search = FindFirstFileW((std::wstring(temp) + L"*").c_str(), found);
    g_chain_positions[search] = 0;
    lstrcpyW(found->cFileName, L".");
    found->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    return search;
}
BOOL WINAPI chain_find_next(HANDLE search, LPWIN32_FIND_DATAW found)
{
    int position = ++g_chain_positions[search];
    if (position > 1) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    std::wstring name(200, L'c');
    lstrcpyW(found->cFileName, name.c_str());
    found->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    return TRUE;
}

TEST_F(QvTreeWalk, AChainDeeperThanAnyPathEndsTheWalk)
{
    qv_walk_find_first = chain_find_first;
    qv_walk_find_next = chain_find_next;
    size_t entered = 0;
    QV_string failed;
    DWORD answer = qv_walk_tree(
        QV_string(at(L"t").c_str()),
        [&entered](const QV_walk_step& step) {
            entered += step.kind == QV_walk_step::folder_entered;
            return true;
        },
        &failed);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), answer);
    EXPECT_GT(failed.length() + 4 + 201, qv_longest_path);
    EXPECT_EQ((qv_longest_path - 4 - at(L"t").size()) / 201 + 1, entered);
}

TEST_F(QvTreeWalk, VisitorAndRootPatternsEndTheWalk)
{
    size_t steps = 0;
    QV_string failed;
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), qv_walk_tree(
                                                       QV_string(at(L"t").c_str()),
                                                       [&steps](const QV_walk_step&) { return ++steps < 3; },
                                                       &failed));
    EXPECT_EQ(3u, steps);
    EXPECT_EQ(0u, std::wstring(failed.c_str()).rfind(at(L"t\\"), 0));
    // A pattern would look up another entry than the one named ("t*" finds "t sibling.txt").
    for (const std::wstring& root : {at(L"t*"), L"\\\\?\\" + at(L"t?sibling.txt")}) {
        steps = 0;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME),
                  qv_walk_tree(QV_string(root.c_str()), [&steps](const QV_walk_step&) { return ++steps, true; }));
        EXPECT_EQ(0u, steps);
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

namespace {

bool present(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Everything that can go goes; the first entry that stays is named with its
// error; a part that cannot be listed stays whole.
TEST_F(QvTreeWalk, DeleteRemovesWhatItCanAndNamesWhatStays)
{
    HANDLE holder = CreateFileW(at(L"t\\sub\\deeper\\c.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    QV_string stayed;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), qv_delete_tree(QV_string(at(L"t").c_str()), &stayed));
    CloseHandle(holder);
    EXPECT_EQ(at(L"t\\sub\\deeper\\c.txt"), stayed.c_str());
    EXPECT_TRUE(present(at(L"t\\sub\\deeper\\c.txt")));
    EXPECT_FALSE(present(at(L"t\\a.txt")) || present(at(L"t\\sub\\b.txt")) || present(at(L"t\\empty")));

    CreateDirectoryW(at(L"t\\closed").c_str(), nullptr);
    make_file(L"t\\closed\\inside.txt");
    g_failing_pattern = L"\\\\?\\" + at(L"t\\closed\\*");
    g_listing_error = ERROR_ACCESS_DENIED;
    qv_walk_find_first = failing_find_first;
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), qv_delete_tree(QV_string(at(L"t").c_str()), &stayed));
    EXPECT_EQ(at(L"t\\closed"), stayed.c_str());
    EXPECT_TRUE(present(at(L"t\\closed\\inside.txt")));
    qv_walk_find_first = qv_find_first_file;

    stayed = QV_string(L"untouched");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), qv_delete_tree(QV_string((L"\\\\?\\" + at(L"t")).c_str()), &stayed));
    EXPECT_STREQ(L"untouched", stayed.c_str());
    EXPECT_FALSE(present(at(L"t")));
    EXPECT_TRUE(present(at(L"t sibling.txt")));
}

} // namespace
