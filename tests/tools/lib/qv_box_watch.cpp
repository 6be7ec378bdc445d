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
