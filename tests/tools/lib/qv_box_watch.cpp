#include "qv_box_watch.h"

#include <algorithm>


QV_box_watch::QV_box_watch(std::wstring caption) : caption_(std::move(caption))
{
    thread_ = std::thread([this] { run(); });
}

QV_box_watch::~QV_box_watch()
{
    stop();
}

std::vector<QV_box> QV_box_watch::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    std::lock_guard<std::mutex> hold(lock_);
    return boxes_;
}

void QV_box_watch::run()
{
    while (!stopping_) {
        answer_boxes();
        Sleep(20);
    }
}

void QV_box_watch::answer_boxes()
{
    for (HWND dialog : qv_find_boxes(GetCurrentProcessId(), caption_.c_str())) {
        if (std::find(answered_.begin(), answered_.end(), dialog) != answered_.end())
            continue;
        QV_box box = qv_answer_box(dialog);
        answered_.push_back(dialog);
        std::lock_guard<std::mutex> hold(lock_);
        boxes_.push_back(box);
    }
}

namespace {

std::wstring class_of(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring text_of(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND child_of_class(HWND dialog, const wchar_t* name)
{
    return FindWindowExW(dialog, nullptr, name, nullptr);
}

struct Progress_search {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_progress_dialog(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Progress_search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid && IsWindowVisible(window) && class_of(window) == L"#32770"
        && child_of_class(window, L"msctls_progress32") && GetDlgItem(window, IDCANCEL))
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK collect_static(HWND window, LPARAM param)
{
    if (class_of(window) == L"Static") {
        RECT box{};
        GetWindowRect(window, &box);
        reinterpret_cast<std::vector<std::pair<LONG, HWND>>*>(param)->emplace_back(box.top, window);
    }
    return TRUE;
}

} // namespace

std::vector<HWND> qv_find_progress_dialogs(DWORD pid)
{
    Progress_search search{pid, {}};
    EnumWindows(collect_progress_dialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring qv_progress_dialog_text(HWND dialog)
{
    std::vector<std::pair<LONG, HWND>> statics;
    EnumChildWindows(dialog, collect_static, reinterpret_cast<LPARAM>(&statics));
    std::stable_sort(statics.begin(), statics.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::wstring text = text_of(dialog);
    for (const auto& line : statics) {
        std::wstring shown = text_of(line.second);
        if (!shown.empty())
            text += L"\n" + shown;
    }
    return text;
}

bool qv_press_cancel(HWND dialog)
{
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    if (!cancel)
        return false;
    SendMessageW(cancel, BM_CLICK, 0, 0);
    return true;
}
