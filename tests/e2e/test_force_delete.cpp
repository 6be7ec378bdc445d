// Force delete as users run it: the real second start that a user without
// administrator rights gets, and the program deleting its own folder. Each test
// works in a sandbox with neighbours that must survive.

#include "e2e_support.h"
#include "qv_driver_registration.h"
#include "qv_sim_driver_state.h"
#include "qv_test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The second start is not waited for: poll until the path is gone.
bool gone_within(const std::wstring& path, DWORD milliseconds)
{
    for (ULONGLONG end = GetTickCount64() + milliseconds; GetTickCount64() < end; Sleep(50)) {
        if (!exists(path))
            return true;
    }
    return !exists(path);
}

class ForceDeleteE2e : public testing::Test {
protected:
    void SetUp() override
    {
        qv_sim_driver_reset();
        sandbox_ = qv_fresh_sandbox(L"force e2e");
        qv_write_file(in_sandbox(L"target dir sibling"));
        qv_write_file(in_sandbox(L"target"));
    }
    void TearDown() override
    {
        qv_remove_tree(sandbox_);
        qv_sim_driver_reset();
    }

    std::wstring in_sandbox(const std::wstring& name) const { return sandbox_ + L"\\" + name; }

    std::wstring sandbox_;

private:
    static QV_driver_registration registration_;
};

QV_driver_registration ForceDeleteE2e::registration_;

TEST_F(ForceDeleteE2e, SecondStartDeletesExactlyThePathMeant)
{
    CreateDirectoryW(in_sandbox(L"target dir").c_str(), nullptr);
    CreateDirectoryW(in_sandbox(L"target dir\\inner").c_str(), nullptr);
    qv_write_file(in_sandbox(L"target dir\\inner\\f.txt"));
    qv_write_file(in_sandbox(L"file with blanks.txt"));
    qv_write_file(in_sandbox(L"relative one.txt"));
    const std::pair<std::wstring, std::wstring> cases[] = {
        {in_sandbox(L"file with blanks.txt"), in_sandbox(L"file with blanks.txt")},
        {in_sandbox(L"target dir\\"), in_sandbox(L"target dir")},  // a trailing backslash
        {L"relative one.txt", in_sandbox(L"relative one.txt")},   // typed in the sandbox, deleted from anywhere
    };
    std::wstring tool = qv_sibling_path(L"force_delete_not_admin.exe");
    for (const auto& [typed, meant] : cases) {
        SCOPED_TRACE(testing::Message() << meant.size());
        QV_run_result run = qv_run_child(qv_command_line(tool, {typed}), sandbox_.c_str());
        EXPECT_EQ(0u, run.exit_code) << "ShellExecuteW did not start the program";
        EXPECT_TRUE(gone_within(meant, 20000));
    }
    std::vector<std::wstring> left = qv_folder_entries(sandbox_);
    EXPECT_EQ(2u, left.size());
    EXPECT_TRUE(exists(in_sandbox(L"target")) && exists(in_sandbox(L"target dir sibling")));
    // Each second start exempted itself from the driver and ended the exemption.
    size_t exemptions = 0;
    for (const QV_sim_driver_call& call : qv_sim_driver_journal())
        exemptions += call.method == L"exempt_current_process";
    EXPECT_EQ(3u, exemptions);
}

TEST_F(ForceDeleteE2e, ProgramDeletingItsOwnFolderLeavesTheNeighbours)
{
    std::wstring install = in_sandbox(L"install");
    CreateDirectoryW(install.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(console_build().c_str(), (install + L"\\VlmKdShell.com").c_str(), FALSE));
    qv_write_file(install + L"\\VlmKdTray.dll");
    QV_run_result run =
        qv_run_child(qv_command_line(install + L"\\VlmKdShell.com", {L"-force_delete", install}), sandbox_.c_str());
    EXPECT_EQ(0u, run.exit_code);
    // The running program cannot be removed, so its folder stays and the failure is
    // shown (whatever else in it can go, goes).
    EXPECT_EQ(narrow(L"Failed to force delete " + install + L"\n"), run.out);
    EXPECT_TRUE(exists(sandbox_));
    EXPECT_TRUE(exists(in_sandbox(L"target")) && exists(in_sandbox(L"target dir sibling")));
}

// Names outside the ANSI code page keep a failure text: the characters it lacks
// become its default character, never an empty text (or an empty box).
TEST_F(ForceDeleteE2e, FailureTextOfANameOutsideTheCodePage)
{
    const std::pair<std::wstring, std::string> cases[] = {
        {L"C:\\\u0416\u0443\u043A", "Failed to force delete C:\\???\n"},  // Cyrillic
        {L"C:\\\u65E5\u672C", "Failed to force delete C:\\??\n"},         // CJK
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(expected);
        QV_run_result console = run_console({L"-force_delete_no_elevate", path}, sandbox_.c_str());
        EXPECT_EQ(expected, console.out);
        QV_run_result gui = run_gui({L"-force_delete_no_elevate", path}, sandbox_.c_str());
        ASSERT_EQ(1u, gui.boxes.size());
        EXPECT_EQ(widen_ascii(expected.c_str()), gui.boxes[0].text);
    }
}

} // namespace
