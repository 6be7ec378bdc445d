// Force delete as administrator (Wine's own token): the exemption around the three
// attempts, seen in the trace of this process and in the driver stand-in's journal;
// the refusals; and, through the seams, the branches of a user without the rights.

#include "shell_test_support.h"

#include "qv_test_files.h"
#include "qv_test_text.h"
#include "qv_trace_file.h"

#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_elevation.h"
#include "base/qv_identity.h"
#include "base/qv_os.h"
#include "base/qv_os_process.h"
#include "base/qv_path.h"
#include "base/qv_tree_delete.h"

#include <shellapi.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::wstring NO_RIGHTS = L"You need local administrator rights to delete files or folders with this command\n";

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> sorted(std::vector<std::wstring> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// The records of this process that tell the order of events, as short tokens.
std::vector<std::wstring> trace_events()
{
    const std::pair<const wchar_t*, const wchar_t*> markers[] = {
        {L"!dx_dc_invoke_command[0]", L"invoke"},
        {L"Failed to create driver instance", L"not created"},
        {L" as encrypted file: ", L"encrypted"},
        {L" as plaintext file: ", L"plaintext"},
        {L" as folder: ", L"folder"},
    };
    std::vector<std::wstring> events;
    for (const std::wstring& line : qv_split_lines(qv_read_trace_text())) {
        std::wstring rest;
        if (!qv_strip_stamp(line, GetCurrentProcessId(), &rest))
            continue;
        for (const auto& [marker, token] : markers) {
            if (rest.find(marker) != std::wstring::npos)
                events.push_back(token);
        }
    }
    return events;
}

// Every case runs in a current folder of its own, with a canary file and folder:
// a shell delete that strays works on the current folder, and it must never be the
// build folder or the checkout.
class ForceDelete : public QV_driver_test {
protected:
    void SetUp() override
    {
        QV_driver_test::SetUp();
        GetCurrentDirectoryW(MAX_PATH, saved_cwd_);
        cwd_ = qv_fresh_sandbox(L"force delete cwd");
        CreateDirectoryW((cwd_ + L"\\canary folder").c_str(), nullptr);
        qv_write_file(cwd_ + L"\\canary folder\\canary.txt");
        qv_write_file(cwd_ + L"\\canary.txt");
        SetCurrentDirectoryW(cwd_.c_str());
        sandbox_ = qv_fresh_sandbox(L"force delete");
        qv_write_file(in_sandbox(L"neighbour.txt"));
        qv_write_file(in_sandbox(L"a.txt"));
        qv_set_trace_switch(HKEY_CURRENT_USER, 1);
        qv_delete_trace_file();
    }
    void TearDown() override
    {
        EXPECT_TRUE(exists(cwd_ + L"\\canary.txt") && exists(cwd_ + L"\\canary folder\\canary.txt"))
            << "the current folder was touched";
        SetCurrentDirectoryW(saved_cwd_);
        qv_clear_trace_switch();
        qv_delete_trace_file();
        qv_remove_tree(sandbox_);
        qv_remove_tree(cwd_);
        QV_driver_test::TearDown();
    }

    std::wstring in_sandbox(const std::wstring& name) const { return sandbox_ + L"\\" + name; }

    std::wstring sandbox_;
    std::wstring cwd_;
    wchar_t saved_cwd_[MAX_PATH] = {};
};

struct Attempt_case {
    const wchar_t* name;
    std::function<void(const std::wstring& path)> make;
    std::vector<std::wstring> events;
    bool fails;
};

TEST_F(ForceDelete, ExemptsAroundTheAttemptsInOrder)
{
    const Attempt_case cases[] = {
        {L"a.txt", [](const std::wstring&) {}, {L"invoke", L"encrypted", L"invoke"}, false},
        {L"tree",
         [](const std::wstring& path) {
             CreateDirectoryW(path.c_str(), nullptr);
             CreateDirectoryW((path + L"\\sub").c_str(), nullptr);
             qv_write_file(path + L"\\sub\\f.txt");
         },
         {L"invoke", L"encrypted", L"plaintext", L"invoke"}, false},
        {L"secret.doc", [](const std::wstring& path) { qv_write_file(path + QV_SIM_ENCRYPTED_SUFFIX); },
         {L"invoke", L"invoke"}, false},
        {L"missing", [](const std::wstring&) {}, {L"invoke", L"encrypted", L"plaintext", L"folder", L"invoke"}, true},
    };
    for (const Attempt_case& entry : cases) {
        SCOPED_TRACE(testing::Message() << narrow(entry.name));
        qv_sim_driver_reset();
        qv_delete_trace_file();
        std::wstring path = in_sandbox(entry.name);
        entry.make(path);
        QV_stdout_capture out;
        EXPECT_TRUE(dx_shell_force_delete(false, path.c_str(), false));
        EXPECT_EQ(entry.fails ? "Failed to force delete " + narrow(path) + "\n" : "", out.text());
        EXPECT_EQ(entry.events, trace_events());
        EXPECT_EQ((std::vector<std::wstring>{L"exempt_current_process", L"unexempt_current_process"}), methods());
        EXPECT_FALSE(exists(path) || exists(path + QV_SIM_ENCRYPTED_SUFFIX));
        EXPECT_FALSE(qv_sim_driver_exempts(GetCurrentProcessId()));
    }
    EXPECT_EQ(std::vector<std::wstring>{L"neighbour.txt"}, qv_folder_entries(sandbox_));
}

// A chain of folders under root whose deepest path, a file, has exactly deepest
// characters; returns that file's path.
std::wstring make_deep_tree(const std::wstring& root, size_t deepest)
{
    const std::wstring level(60, L'd');
    std::wstring path = root;
    CreateDirectoryW(path.c_str(), nullptr);
    while (deepest - path.size() > level.size() + 2) {
        path += L"\\" + level;
        CreateDirectoryW(qv_long_form(path).c_str(), nullptr);
    }
    path += L"\\" + std::wstring(deepest - path.size() - 1, L'f');
    qv_write_file(qv_long_form(path));
    return path;
}

// A tree with paths of MAX_PATH characters or more (the shell's delete, which
// force delete no longer uses, emptied the current folder on them under Wine),
// and one a character shorter, given plainly or in its "\\?\" form: removed
// whole in both builds, nothing shown.
TEST_F(ForceDelete, TreeTooDeepForTheShellIsRemovedWhole)
{
    for (size_t deepest : {259, 260, 330}) {
        for (const wchar_t* prefix : {L"", L"\\\\?\\"}) {
            for (bool gui : {false, true}) {
                SCOPED_TRACE(testing::Message() << deepest << " " << narrow(prefix) << (gui ? " GUI" : " console"));
                qv_captured_boxes().clear();
                qv_sim_driver_reset();
                std::wstring tree = in_sandbox(L"lp");
                std::wstring file = make_deep_tree(tree, deepest);
                ASSERT_EQ(deepest, file.size());
                ASSERT_TRUE(exists(qv_long_form(file)));
                QV_stdout_capture out;
                EXPECT_TRUE(dx_shell_force_delete(gui, (prefix + tree).c_str(), false));
                EXPECT_EQ("", out.text());
                EXPECT_TRUE(qv_captured_boxes().empty());
                EXPECT_FALSE(exists(tree));
                EXPECT_EQ((std::vector<std::wstring>{L"exempt_current_process", L"unexempt_current_process"}),
                          methods());
                qv_remove_tree(tree);
            }
        }
    }
    EXPECT_EQ((std::vector<std::wstring>{L"a.txt", L"neighbour.txt"}), sorted(qv_folder_entries(sandbox_)));
}

std::string read_file(const std::wstring& path)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[64] = {};
    DWORD read = 0;
    if (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &read, nullptr))
        text.assign(buffer, buffer + read);
    CloseHandle(file);
    return text;
}

// At the bottom of folder: names ending in a dot and a space, a read-only file, a
// read-only folder with a file in it, and a hard link to outside.
void fill_with_what_the_shell_cannot_reach(const std::wstring& folder, const std::wstring& outside)
{
    std::wstring at = qv_long_form(folder);
    CreateDirectoryW((at + L"\\dot.").c_str(), nullptr);
    qv_write_file(at + L"\\dot.\\space ");
    CreateDirectoryW((at + L"\\space ").c_str(), nullptr);
    qv_write_file(at + L"\\read-only.txt");
    SetFileAttributesW((at + L"\\read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryW((at + L"\\read-only folder").c_str(), nullptr);
    qv_write_file(at + L"\\read-only folder\\inside.txt");
    SetFileAttributesW((at + L"\\read-only folder").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(CreateHardLinkW((at + L"\\hard link.txt").c_str(), outside.c_str(), nullptr));
    // Wine 8 keeps no read-only attribute on a folder; on Windows the folder is
    // read-only here and RemoveDirectoryW answers 5 until it is cleared.
    EXPECT_TRUE(GetFileAttributesW((at + L"\\read-only.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(exists(at + L"\\dot.\\space ") && exists(at + L"\\space "));
}

// Such names and attributes in a shallow or a deep tree: all removed; the file
// the hard link shares keeps its name and bytes; the siblings whose names differ
// only by a trailing dot or space are never taken for the tree.
TEST_F(ForceDelete, NamesAndAttributesTheShellCannotHandleAreRemoved)
{
    std::wstring outside = in_sandbox(L"outside.txt");
    qv_write_file(outside, "outside bytes");
    std::wstring tree = in_sandbox(L"x");
    for (const std::wstring& sibling : {tree + L".", tree + L" "}) {
        CreateDirectoryW(qv_long_form(sibling).c_str(), nullptr);
        qv_write_file(qv_long_form(sibling + L"\\keep.txt"));
    }
    for (size_t deepest : {0, 300}) {
        SCOPED_TRACE(testing::Message() << "deepest " << deepest);
        std::wstring bottom = tree;
        CreateDirectoryW(tree.c_str(), nullptr);
        if (deepest) {
            std::wstring file = make_deep_tree(tree, deepest);
            bottom = file.substr(0, file.rfind(L'\\'));
        }
        fill_with_what_the_shell_cannot_reach(bottom, outside);
        ASSERT_TRUE(exists(qv_long_form(bottom + L"\\dot.\\space ")));
        QV_stdout_capture out;
        EXPECT_TRUE(dx_shell_force_delete(false, tree.c_str(), false));
        EXPECT_EQ("", out.text());
        EXPECT_FALSE(exists(tree));
        EXPECT_EQ("outside bytes", read_file(outside));
        EXPECT_TRUE(exists(qv_long_form(tree + L".\\keep.txt")) && exists(qv_long_form(tree + L" \\keep.txt")));
    }
    // Given in its "\\?\" form, a name ending in a dot is that entry and no other.
    QV_stdout_capture out;
    EXPECT_TRUE(dx_shell_force_delete(false, (L"\\\\?\\" + tree + L".").c_str(), false));
    EXPECT_EQ("", out.text());
    EXPECT_FALSE(exists(qv_long_form(tree + L".")));
    EXPECT_TRUE(exists(qv_long_form(tree + L" \\keep.txt")));
}

// A file held open without delete sharing stays, with the failure shown and its
// error traced; everything else goes. Once it is let go, a second run removes the rest.
TEST_F(ForceDelete, HeldFileStaysAndEverythingElseGoes)
{
    std::wstring tree = in_sandbox(L"held");
    std::wstring deep_file = make_deep_tree(tree, 300);
    std::wstring bottom = deep_file.substr(0, deep_file.rfind(L'\\'));
    std::wstring held = bottom + L"\\held.txt";
    qv_write_file(qv_long_form(held));
    qv_write_file(tree + L"\\top.txt");
    HANDLE holder = CreateFileW(qv_long_form(held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui ? "GUI" : "console");
        qv_captured_boxes().clear();
        qv_delete_trace_file();
        QV_stdout_capture out;
        EXPECT_TRUE(dx_shell_force_delete(gui, tree.c_str(), false));
        std::wstring failure = L"Failed to force delete " + tree + L"\n";
        EXPECT_EQ(gui ? "" : narrow(failure), out.text());
        EXPECT_EQ(gui ? std::vector<std::wstring>{L"Velmora Orrisguard|" + failure + L"|327696"}
                      : std::vector<std::wstring>{},
                  qv_captured_boxes());
        std::wstring trace = qv_read_trace_text();
        EXPECT_NE(std::wstring::npos, trace.find(L"Failed to force delete " + tree + L": " + held + L" stays: 32\n"));
        EXPECT_NE(std::wstring::npos, trace.find(L"Failed to force delete " + tree + L" as folder: 32\n"));
        EXPECT_TRUE(exists(qv_long_form(held)));
        EXPECT_FALSE(exists(qv_long_form(deep_file)) || exists(tree + L"\\top.txt"));
    }
    CloseHandle(holder);
    QV_stdout_capture out;
    EXPECT_TRUE(dx_shell_force_delete(false, tree.c_str(), false));
    EXPECT_EQ("", out.text());
    EXPECT_FALSE(exists(tree));
}

// Fails the first listing call of the n-th folder listed (1: the root), as a
// folder the system will not list: the call after a folder's look by handle.
unsigned g_unlistable = 0;
unsigned g_listings = 0;
QV_os_call g_previous = QV_os_call::count;
DWORD refuse_one_listing(QV_os_call call)
{
    bool listing = call == QV_os_call::file_info
                   && (g_previous == QV_os_call::query_file || g_previous == QV_os_call::find_first);
    g_previous = call;
    return listing && ++g_listings == g_unlistable ? ERROR_ACCESS_DENIED : 0;
}
void ran(QV_os_call) {}
const QV_os_probe REFUSE_ONE_LISTING{refuse_one_listing, ran};

// A folder that cannot be listed stays with everything in it, and the failure is
// shown; the root's own listing refused keeps the whole tree.
TEST_F(ForceDelete, FolderThatCannotBeListedStaysWhole)
{
    for (unsigned unlistable : {1u, 2u}) {
        for (bool gui : {false, true}) {
            SCOPED_TRACE(testing::Message() << unlistable << (gui ? " GUI" : " console"));
            std::wstring tree = in_sandbox(L"tree");
            CreateDirectoryW(tree.c_str(), nullptr);
            CreateDirectoryW((tree + L"\\closed").c_str(), nullptr);
            qv_write_file(tree + L"\\closed\\inside.txt");
            qv_write_file(tree + L"\\beside.txt");
            qv_captured_boxes().clear();
            qv_delete_trace_file();
            g_unlistable = unlistable;
            g_listings = 0;
            g_previous = QV_os_call::count;
            qv_os_probe = &REFUSE_ONE_LISTING;
            QV_stdout_capture out;
            EXPECT_TRUE(dx_shell_force_delete(gui, tree.c_str(), false));
            qv_os_probe = nullptr;
            std::wstring failure = L"Failed to force delete " + tree + L"\n";
            EXPECT_EQ(gui ? "" : narrow(failure), out.text());
            EXPECT_EQ(gui ? std::vector<std::wstring>{L"Velmora Orrisguard|" + failure + L"|327696"}
                          : std::vector<std::wstring>{},
                      qv_captured_boxes());
            EXPECT_TRUE(exists(tree + L"\\closed\\inside.txt"));
            EXPECT_EQ(unlistable == 1, exists(tree + L"\\beside.txt"));
            EXPECT_NE(std::wstring::npos, qv_read_trace_text().find(L" as folder: 5\n"));
            EXPECT_EQ((std::vector<std::wstring>{L"invoke", L"encrypted", L"plaintext", L"folder", L"invoke"}),
                      trace_events());
            qv_remove_tree(tree);
        }
    }
}

// Once the tree's folder is listed, its owner moves a listed folder away and puts
// a folder from outside under the same name (with a link where the system can make
// one: the faults suite does). Nothing of it goes, in either build, with the path
// given in either form, and the failure is shown with the error of the entry that
// stayed; the rest of the tree goes.
std::wstring g_swap_in, g_swap_listed, g_swap_away, g_swap_outside;
void swap_when_listed(const wchar_t* folder)
{
    if (g_swap_in != qv_plain_path(QV_string(folder)).c_str())
        return;
    EXPECT_TRUE(MoveFileW(g_swap_listed.c_str(), g_swap_away.c_str()));
    EXPECT_TRUE(MoveFileW(g_swap_outside.c_str(), g_swap_listed.c_str()));
}

TEST_F(ForceDelete, FolderSwappedAfterTheListingKeepsWhatItHolds)
{
    std::wstring tree = in_sandbox(L"tree");
    for (const wchar_t* prefix : {L"", L"\\\\?\\"}) {
        for (bool gui : {false, true}) {
            SCOPED_TRACE(testing::Message() << narrow(prefix) << (gui ? " GUI" : " console"));
            CreateDirectoryW(tree.c_str(), nullptr);
            CreateDirectoryW((tree + L"\\sub").c_str(), nullptr);
            qv_write_file(tree + L"\\sub\\b.txt");
            qv_write_file(tree + L"\\a.txt");
            CreateDirectoryW(in_sandbox(L"outside").c_str(), nullptr);
            CreateDirectoryW(in_sandbox(L"outside\\deeper").c_str(), nullptr);
            for (int i = 0; i < 40; ++i)
                qv_write_file(in_sandbox(L"outside\\keep" + std::to_wstring(i) + L".txt"));
            qv_write_file(in_sandbox(L"outside\\deeper\\keep.txt"));
            g_swap_in = tree;
            g_swap_listed = tree + L"\\sub";
            g_swap_away = in_sandbox(L"away");
            g_swap_outside = in_sandbox(L"outside");
            qv_captured_boxes().clear();
            qv_delete_trace_file();
            qv_delete_tree_listed = swap_when_listed;
            QV_stdout_capture out;
            EXPECT_TRUE(dx_shell_force_delete(gui, (prefix + tree).c_str(), false));
            qv_delete_tree_listed = nullptr;
            std::wstring failure = L"Failed to force delete " + std::wstring(prefix) + tree + L"\n";
            EXPECT_EQ(gui ? "" : narrow(failure), out.text());
            EXPECT_EQ(gui ? std::vector<std::wstring>{L"Velmora Orrisguard|" + failure + L"|327696"}
                          : std::vector<std::wstring>{},
                      qv_captured_boxes());
            EXPECT_EQ(41u, qv_folder_entries(tree + L"\\sub").size());
            EXPECT_TRUE(exists(tree + L"\\sub\\deeper\\keep.txt"));
            EXPECT_TRUE(exists(in_sandbox(L"away\\b.txt")));
            EXPECT_FALSE(exists(tree + L"\\a.txt"));
            EXPECT_NE(std::wstring::npos, qv_read_trace_text().find(L" as folder: 1920\n"));
            qv_remove_tree(tree);
            qv_remove_tree(in_sandbox(L"away"));
        }
    }
}

// A "\\?\" operand is the path it spells: deleted as its plain form would be,
// refused for a pattern past the prefix or a root, never confused with a sibling.
TEST_F(ForceDelete, ExtendedOperandActsAsItsPlainForm)
{
    std::wstring tree = in_sandbox(L"tree");
    CreateDirectoryW(tree.c_str(), nullptr);
    CreateDirectoryW((tree + L"\\sub").c_str(), nullptr);
    qv_write_file(tree + L"\\sub\\f.txt");
    const std::pair<std::wstring, bool> deleted[] = {{in_sandbox(L"a.txt"), true}, {tree, true}};
    for (const auto& [path, gone] : deleted) {
        SCOPED_TRACE(narrow(path));
        QV_stdout_capture out;
        EXPECT_TRUE(dx_shell_force_delete(false, (L"\\\\?\\" + path).c_str(), false));
        EXPECT_EQ("", out.text());
        EXPECT_EQ(!gone, exists(path));
    }
    qv_write_file(in_sandbox(L"ab.txt"));
    for (const std::wstring& path : {L"\\\\?\\" + in_sandbox(L"a?.txt"), L"\\\\?\\" + in_sandbox(L"*"),
                                     std::wstring(L"\\\\?\\Q:\\"), std::wstring(L"\\\\?\\")}) {
        SCOPED_TRACE(narrow(path));
        QV_stdout_capture out;
        EXPECT_FALSE(dx_shell_force_delete(false, path.c_str(), false));
        EXPECT_EQ("Failed to force delete " + narrow(path) + "\n", out.text());
    }
    EXPECT_EQ(2u, qv_folder_entries(sandbox_).size());
}

TEST_F(ForceDelete, AttemptsRunUnexemptedWhenTheComponentCannotBeCreated)
{
    qv_sim_driver_answer(L"create_result", L"80040154");
    EXPECT_TRUE(dx_shell_force_delete(false, in_sandbox(L"a.txt").c_str(), false));
    EXPECT_EQ((std::vector<std::wstring>{L"invoke", L"not created", L"encrypted", L"invoke", L"not created"}),
              trace_events());
    EXPECT_TRUE(methods().empty());
    EXPECT_FALSE(exists(in_sandbox(L"a.txt")));
}

TEST_F(ForceDelete, MissingPathKeepsTheErrorOfEachAttempt)
{
    std::wstring path = in_sandbox(L"missing");
    dx_shell_force_delete(true, path.c_str(), false);
    std::wstring trace = qv_read_trace_text();
    EXPECT_NE(std::wstring::npos, trace.find(L"Failed to force delete " + path + L" as encrypted file: 2\n"));
    EXPECT_NE(std::wstring::npos, trace.find(L"Failed to force delete " + path + L" as plaintext file: 2\n"));
    ASSERT_EQ(1u, qv_captured_boxes().size());
    EXPECT_EQ(L"Velmora Orrisguard|Failed to force delete " + path + L"\n|327696", qv_captured_boxes()[0]);  // 0x50010
}

TEST_F(ForceDelete, WildcardsRootsAndEmptyPathsAreRefusedBeforeAnything)
{
    qv_write_file(in_sandbox(L"ab.txt"));
    // A root is refused by its form: Q: need not exist (the prefix's own C: is not put at risk).
    // However the root is spelled: the full path decides.
    for (const std::wstring& path : {in_sandbox(L"*.txt"), in_sandbox(L"a?.txt"), std::wstring(L"Q:\\"),
                                     std::wstring(L""), std::wstring(L"Q:\\x\\.."), std::wstring(L"Q:."),
                                     std::wstring(L"Q:\\.")}) {
        SCOPED_TRACE(narrow(path));
        QV_stdout_capture out;
        EXPECT_FALSE(dx_shell_force_delete(false, path.c_str(), false));
        EXPECT_EQ("Failed to force delete " + narrow(path) + "\n", out.text());
    }
    EXPECT_EQ(3u, qv_folder_entries(sandbox_).size());
    EXPECT_TRUE(methods().empty());
}

// A process without administrator rights, and the launch it asks the shell for.
struct Launch {
    std::wstring verb, file, parameters;
    INT show = -1;
    bool owner = false;
};
std::vector<Launch> g_launches;
INT_PTR g_launch_result = 42;

HRESULT not_admin() { return S_FALSE; }
HRESULT admin_unknown() { return E_ACCESSDENIED; }

HINSTANCE WINAPI capture_launch(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show)
{
    g_launches.push_back({verb, file, parameters ? parameters : L"", folder ? -2 : show, owner != nullptr});
    return reinterpret_cast<HINSTANCE>(g_launch_result);
}

class WithoutRights : public ForceDelete {
protected:
    void SetUp() override
    {
        ForceDelete::SetUp();
        g_launches.clear();
        g_launch_result = 42;
        dx_shell_admin_check = not_admin;
        dx_shell_execute = capture_launch;
    }
    void TearDown() override
    {
        dx_shell_admin_check = qv_is_local_admin;
        dx_shell_execute = qv_shell_execute;
        ForceDelete::TearDown();
    }
};

TEST_F(WithoutRights, NoElevateOnlyReports)
{
    QV_stdout_capture out;
    EXPECT_FALSE(dx_shell_force_delete(false, in_sandbox(L"a.txt").c_str(), true));
    EXPECT_EQ(narrow(NO_RIGHTS), out.text());
    EXPECT_FALSE(dx_shell_force_delete(true, in_sandbox(L"a.txt").c_str(), true));
    EXPECT_EQ(std::vector<std::wstring>{L"Velmora Orrisguard|" + NO_RIGHTS + L"|327696"}, qv_captured_boxes());
    EXPECT_TRUE(g_launches.empty());
    EXPECT_TRUE(exists(in_sandbox(L"a.txt")));
    EXPECT_TRUE(methods().empty());
}

TEST_F(WithoutRights, SecondStartGetsTheAbsolutePathBackFromItsCommandLine)
{
    dx_shell_admin_check = admin_unknown;  // a token that cannot be read counts as no rights
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    SetCurrentDirectoryW(sandbox_.c_str());
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"rel dir\\file.txt", sandbox_ + L"\\rel dir\\file.txt"},
        {L"C:\\a b\\c d\\", L"C:\\a b\\c d\\"},
        {L"C:\\a\\\\b\\x\"y z", L"C:\\a\\b\\x\"y z"},
        {L"C:\\plain", L"C:\\plain"},
    };
    for (const auto& [typed, absolute] : cases) {
        SCOPED_TRACE(narrow(typed));
        g_launches.clear();
        EXPECT_TRUE(dx_shell_force_delete(false, typed.c_str(), false));
        ASSERT_EQ(1u, g_launches.size());
        const Launch& launch = g_launches[0];
        EXPECT_EQ(L"runas", launch.verb);
        EXPECT_EQ(qv_sibling_path(L"VlmKdShell.exe"), launch.file);
        EXPECT_EQ(SW_HIDE, launch.show);
        EXPECT_FALSE(launch.owner);
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW((L"VlmKdShell.exe " + launch.parameters).c_str(), &argc);
        ASSERT_EQ(3, argc);
        EXPECT_STREQ(L"-force_delete_no_elevate", argv[1]);
        EXPECT_EQ(absolute, argv[2]);
        LocalFree(argv);
    }
    SetCurrentDirectoryW(cwd);
    EXPECT_TRUE(methods().empty());
}

TEST_F(WithoutRights, FailedSecondStartIsReportedInEachBuild)
{
    g_launch_result = 2;
    QV_stdout_capture out;
    EXPECT_FALSE(dx_shell_force_delete(false, in_sandbox(L"a.txt").c_str(), false));
    EXPECT_EQ("You need local administrator rights to delete files or folders with this command!\n", out.text());
    EXPECT_FALSE(dx_shell_force_delete(true, in_sandbox(L"a.txt").c_str(), false));
    EXPECT_EQ(std::vector<std::wstring>{L"Velmora Orrisguard|" + NO_RIGHTS + L"|327696"}, qv_captured_boxes());
    EXPECT_TRUE(exists(in_sandbox(L"a.txt")));
}

const std::wstring UNINSTALL_PARAMETERS = L"/C MsiExec.exe /norestart /x{5A1E7C20-3B9D-4E61-8F02-C7D4A9B31E58}";
const std::wstring UNINSTALL_NO_RIGHTS = L"You need local administrator rights to force uninstall with this command\n";

std::wstring system_cmd()
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\cmd.exe";
}

struct Uninstall_case {
    HRESULT (*admin)();
    bool no_elevate;
    INT_PTR launch_result;
    const wchar_t* verb;  // null: no launch
    bool launched;
};

HRESULT is_admin() { return S_OK; }

TEST_F(WithoutRights, UninstallStartsTheSystemCommandInterpreterHidden)
{
    const Uninstall_case cases[] = {
        {is_admin, true, 42, L"open", true},
        {not_admin, false, 42, L"runas", true},
        {not_admin, true, 42, nullptr, false},
        {is_admin, false, 2, L"open", false},
        {not_admin, false, 5, L"runas", false},
    };
    for (const Uninstall_case& entry : cases) {
        SCOPED_TRACE(testing::Message() << (entry.verb ? narrow(entry.verb) : "none") << " " << entry.launch_result);
        g_launches.clear();
        g_launch_result = entry.launch_result;
        dx_shell_admin_check = entry.admin;
        QV_stdout_capture out;
        EXPECT_EQ(entry.launched, dx_shell_force_uninstall(false, entry.no_elevate));
        EXPECT_EQ(entry.launched ? "" : narrow(UNINSTALL_NO_RIGHTS), out.text());
        ASSERT_EQ(entry.verb ? 1u : 0u, g_launches.size());
        if (entry.verb) {
            EXPECT_EQ(entry.verb, g_launches[0].verb);
            EXPECT_EQ(system_cmd(), g_launches[0].file);
            EXPECT_EQ(UNINSTALL_PARAMETERS, g_launches[0].parameters);
            EXPECT_EQ(SW_HIDE, g_launches[0].show);
        }
    }
    dx_shell_admin_check = not_admin;
    EXPECT_FALSE(dx_shell_force_uninstall(true, true));
    EXPECT_EQ(std::vector<std::wstring>{L"Velmora Orrisguard|" + UNINSTALL_NO_RIGHTS + L"|327696"}, qv_captured_boxes());
}

} // namespace
