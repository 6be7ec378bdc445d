#pragma once
// Runs a program as a child process the way a user or a script would, collects
// its standard output and error, and answers every message box it shows:
// caption, text and style are read back from the window, then OK is pressed.

#include <windows.h>

#include <string>
#include <vector>

struct QV_box {
    std::wstring caption;
    std::wstring text;
    LONG style = 0;
    LONG ex_style = 0;
};

struct QV_run_result {
    bool started = false;
    // When the start never happened: the call that failed ("CreatePipe" or
    // "CreateProcessW") and its error, from the last attempt.
    const char* failed_call = nullptr;
    DWORD start_error = 0;
    bool timed_out = false;
    DWORD exit_code = 0xFFFFFFFF;
    std::string out;
    std::string err;
    std::vector<QV_box> boxes;
};

// Runs command_line (already quoted) in cwd (null: the current folder). A start
// that never happened (no pipe, no process) had no effect and is tried once more;
// when that fails too, the failed call and its error go to standard error.
QV_run_result qv_run_child(const std::wstring& command_line, const wchar_t* cwd = nullptr,
                           DWORD timeout_ms = 60000);

// Quotes one argument by the rules CommandLineToArgvW reads back.
std::wstring qv_quote_arg(const std::wstring& arg);

// A command line of a program and its arguments, each quoted.
std::wstring qv_command_line(const std::wstring& program, const std::vector<std::wstring>& args);

// The full path of a file that sits next to the running executable.
std::wstring qv_sibling_path(const wchar_t* file_name);

// Text of the dialog's static control, the one that holds a message box's text.
std::wstring qv_box_text(HWND dialog);

// The visible message boxes (#32770 dialogs) of process pid, never its progress
// dialogs (qv_find_progress_dialogs); with a caption, only the boxes that carry it.
std::vector<HWND> qv_find_boxes(DWORD pid, const wchar_t* caption = nullptr);

// Reads a box's caption, text and style, then presses OK.
QV_box qv_answer_box(HWND dialog);
