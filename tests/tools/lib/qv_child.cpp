#include "qv_child.h"
#include "qv_box_watch.h"

#include "base/qv_command_line.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ~Pipe()
    {
        if (read)
            CloseHandle(read);
        if (write)
            CloseHandle(write);
    }
    bool open()
    {
        SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
        if (!CreatePipe(&read, &write, &sa, 0))
            return false;
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        return true;
    }
    void close_write()
    {
        CloseHandle(write);
        write = nullptr;
    }
};

// Reads what the pipe holds now, without waiting: processes that the child starts
// (Wine's desktop, for one) may inherit the write end and keep it open long after
// the child has ended, so end of file cannot be what the runner waits for.
bool drain_available(HANDLE pipe, std::string* sink)
{
    bool any = false;
    char chunk[4096];
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD got = 0;
        DWORD want = available < sizeof(chunk) ? available : sizeof(chunk);
        if (!ReadFile(pipe, chunk, want, &got, nullptr) || got == 0)
            break;
        sink->append(chunk, got);
        any = true;
    }
    return any;
}

std::wstring window_text(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

void answer_boxes(DWORD pid, std::set<HWND>* answered, std::vector<QV_box>* boxes)
{
    for (HWND dialog : qv_find_boxes(pid)) {
        if (answered->insert(dialog).second)
            boxes->push_back(qv_answer_box(dialog));
    }
}

} // namespace

namespace {

// The static that holds a message box's text. Only boxes have it: the system's
// progress dialog, a #32770 dialog with the product's caption too, has none, and
// while it is being destroyed it cannot be told from a box by what it lacks.
constexpr int BOX_TEXT_ID = 0xFFFF;

struct BoxSearch {
    DWORD pid;
    const wchar_t* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_box(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    if (owner == search->pid && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window)
        && GetDlgItem(window, BOX_TEXT_ID) && (!search->caption || window_text(window) == search->caption))
        search->found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> qv_find_boxes(DWORD pid, const wchar_t* caption)
{
    BoxSearch search{pid, caption, {}};
    EnumWindows(collect_box, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

QV_box qv_answer_box(HWND dialog)
{
    Sleep(50); // let the box finish laying out its text
    QV_box box;
    box.caption = window_text(dialog);
    box.text = qv_box_text(dialog);
    box.style = GetWindowLongW(dialog, GWL_STYLE);
    box.ex_style = GetWindowLongW(dialog, GWL_EXSTYLE);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return box;
}

std::wstring qv_box_text(HWND dialog)
{
    std::wstring text(65536, L'\0');
    UINT got = GetDlgItemTextW(dialog, BOX_TEXT_ID, text.data(), static_cast<int>(text.size()));
    text.resize(got);
    return text;
}

namespace {

// One attempt at starting the child with its output going to out and err. On
// failure result says which call failed and why.
bool start_child(const std::wstring& command_line, const wchar_t* cwd, Pipe& out, Pipe& err,
                 PROCESS_INFORMATION& pi, QV_run_result& result)
{
    if (!out.open() || !err.open()) {
        result.failed_call = "CreatePipe";
        result.start_error = GetLastError();
        return false;
    }
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out.write;
    si.hStdError = err.write;
    std::wstring mutable_line = command_line;
    if (!CreateProcessW(nullptr, mutable_line.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd, &si, &pi)) {
        result.failed_call = "CreateProcessW";
        result.start_error = GetLastError();
        return false;
    }
    return true;
}

// Collects output and answers boxes until the child ends or its time is up.
void watch_child(const PROCESS_INFORMATION& pi, Pipe& out, Pipe& err, DWORD timeout_ms, QV_run_result& result)
{
    std::set<HWND> answered;
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        bool flowed = drain_available(out.read, &result.out);
        flowed = drain_available(err.read, &result.err) || flowed;
        if (WaitForSingleObject(pi.hProcess, flowed ? 0 : 20) == WAIT_OBJECT_0)
            break;
        answer_boxes(pi.dwProcessId, &answered, &result.boxes);
        if (GetTickCount64() >= deadline) {
            result.timed_out = true;
            TerminateProcess(pi.hProcess, 0xDEAD);
            WaitForSingleObject(pi.hProcess, 5000);
            break;
        }
    }
    drain_available(out.read, &result.out);
    drain_available(err.read, &result.err);
}

} // namespace

QV_run_result qv_run_child(const std::wstring& command_line, const wchar_t* cwd, DWORD timeout_ms)
{
    QV_run_result result;
    for (int attempt = 0; attempt < 2 && !result.started; ++attempt) {
        Pipe out, err;
        PROCESS_INFORMATION pi{};
        if (!start_child(command_line, cwd, out, err, pi, result))
            continue;
        result.started = true;
        result.failed_call = nullptr;
        result.start_error = 0;
        out.close_write();
        err.close_write();
        watch_child(pi, out, err, timeout_ms, result);
        GetExitCodeProcess(pi.hProcess, &result.exit_code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (!result.started) {
        char line[2048] = {};
        WideCharToMultiByte(CP_ACP, 0, command_line.c_str(), -1, line, sizeof line - 1, nullptr, nullptr);
        std::fprintf(stderr, "qv_run_child: %s failed twice, error %lu: %s\n", result.failed_call,
                     static_cast<unsigned long>(result.start_error), line);
    }
    return result;
}

std::wstring qv_quote_arg(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    return qv_quote_argument(arg.c_str()).c_str();
}

std::wstring qv_command_line(const std::wstring& program, const std::vector<std::wstring>& args)
{
    std::wstring line = qv_quote_arg(program);
    for (const std::wstring& arg : args)
        line += L" " + qv_quote_arg(arg);
    return line;
}

std::wstring qv_sibling_path(const wchar_t* file_name)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.find_last_of(L'\\') + 1);
    return path + file_name;
}
