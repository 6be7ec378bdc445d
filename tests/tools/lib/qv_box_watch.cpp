#include "qv_box_watch.h"

#include <algorithm>

namespace {

std::wstring window_caption(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

struct Own_dialogs {
    const std::wstring* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_own_dialog(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Own_dialogs*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    if (owner == GetCurrentProcessId() && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window) &&
        window_caption(window) == *search->caption)
        search->found.push_back(window);
    return TRUE;
}

} // namespace

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
    Own_dialogs search{&caption_, {}};
    EnumWindows(collect_own_dialog, reinterpret_cast<LPARAM>(&search));
    for (HWND dialog : search.found) {
        if (std::find(answered_.begin(), answered_.end(), dialog) != answered_.end())
            continue;
        Sleep(50); // let the box finish laying out its text
        QV_box box;
        box.caption = window_caption(dialog);
        box.text = qv_box_text(dialog);
        box.style = GetWindowLongW(dialog, GWL_STYLE);
        box.ex_style = GetWindowLongW(dialog, GWL_EXSTYLE);
        {
            std::lock_guard<std::mutex> hold(lock_);
            boxes_.push_back(box);
        }
        answered_.push_back(dialog);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
}
