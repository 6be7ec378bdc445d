#include "e2e_support.h"
#include "qv_trace_file.h"

#include <gtest/gtest.h>

namespace {

class TraceRecordsE2e : public testing::Test {
protected:
    void SetUp() override
    {
        qv_clear_trace_switch();
        qv_set_trace_switch(HKEY_CURRENT_USER, 1);
        qv_delete_trace_file();
    }
    void TearDown() override
    {
        qv_clear_trace_switch();
        qv_delete_trace_file();
    }
    // The stamped lines of one process.
    static std::vector<std::wstring> lines_of(const std::wstring& text, DWORD pid)
    {
        std::vector<std::wstring> out;
        for (const std::wstring& line : qv_split_lines(text)) {
            std::wstring rest;
            if (qv_strip_stamp(line, pid, &rest))
                out.push_back(rest);
        }
        return out;
    }
    static bool has_line_ending(const std::vector<std::wstring>& lines, const std::wstring& tail)
    {
        for (const std::wstring& line : lines) {
            if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
                return true;
        }
        return false;
    }
};

// The process id of the first line holding marker.
DWORD pid_of_line_with(const std::wstring& text, const std::wstring& marker)
{
    for (const std::wstring& line : qv_split_lines(text)) {
        if (line.find(marker) != std::wstring::npos) {
            size_t open = line.find(L" ["), close = line.find(L"] ");
            if (open == 8 && close != std::wstring::npos)
                return static_cast<DWORD>(std::stoul(line.substr(open + 2, close - open - 2)));
        }
    }
    return 0;
}

TEST_F(TraceRecordsE2e, BothBuildsTraceTheirEntryAndArguments)
{
    QV_run_result console = run_console({L"-nope"});
    ASSERT_TRUE(console.started);
    QV_run_result gui = run_gui({L"-Eut", L"x"});
    ASSERT_TRUE(gui.started);
    EXPECT_EQ(1u, gui.boxes.size());

    std::vector<unsigned char> bytes = qv_read_trace_bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    std::wstring text = qv_read_trace_text();

    DWORD console_pid = pid_of_line_with(text, L"VlmKdShell!main[0]");
    ASSERT_NE(0u, console_pid) << text;
    std::vector<std::wstring> console_lines = lines_of(text, console_pid);
    EXPECT_TRUE(has_line_ending(console_lines, L" VlmKdShell!Dx_shell_dispatch[0]\n"));
    EXPECT_TRUE(has_line_ending(console_lines, L" VlmKdShell!Dx_shell_dispatch: argc = 2\n"));
    EXPECT_TRUE(has_line_ending(console_lines, L" VlmKdShell!Dx_shell_dispatch: argv[1] = '-nope'\n"));
    EXPECT_TRUE(has_line_ending(console_lines,
                                L" VlmKdShell!Dx_shell_dispatch: argv[0] = '" + console_build() + L"'\n"));

    // The GUI build's first record names the program through the null module handle.
    DWORD gui_pid = pid_of_line_with(text, L"VlmKdShell!WinMain[0]");
    ASSERT_NE(0u, gui_pid) << text;
    std::vector<std::wstring> gui_lines = lines_of(text, gui_pid);
    ASSERT_FALSE(gui_lines.empty());
    EXPECT_TRUE(has_line_ending({gui_lines.front()}, L" VlmKdShell!WinMain[0]\n")) << gui_lines.front();
    EXPECT_EQ(0u, gui_lines.front().find(L"P:"));
    EXPECT_TRUE(has_line_ending(gui_lines, L" VlmKdShell!Dx_shell_dispatch: argc = 3\n"));
    EXPECT_TRUE(has_line_ending(gui_lines, L" VlmKdShell!Dx_shell_dispatch: argv[1] = '-Eut'\n"));
    EXPECT_TRUE(has_line_ending(gui_lines, L" VlmKdShell!Dx_shell_dispatch: argv[2] = 'x'\n"));
}

TEST_F(TraceRecordsE2e, NothingIsWrittenWhenSwitchedOff)
{
    qv_clear_trace_switch();
    QV_run_result console = run_console({L"-nope"});
    ASSERT_TRUE(console.started);
    EXPECT_TRUE(qv_read_trace_bytes().empty());
}

} // namespace
