#pragma once
// Answers the message boxes that the running process shows itself: a thread
// finds this process's dialogs (class #32770) by caption, reads their caption,
// text and style, and presses OK. For tests that call a box function directly.
// The system's progress dialog is a #32770 dialog too: the functions at the end
// find it apart from the boxes and press its Cancel button.

#include "qv_child.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QV_box_watch {
public:
    // Starts watching for boxes whose caption is caption.
    explicit QV_box_watch(std::wstring caption);
    ~QV_box_watch();
    QV_box_watch(const QV_box_watch&) = delete;
    QV_box_watch& operator=(const QV_box_watch&) = delete;

    // Stops the thread and gives every box it answered, in order.
    std::vector<QV_box> stop();

private:
    void run();
    void answer_boxes();

    std::wstring caption_;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::vector<QV_box> boxes_;
    std::vector<HWND> answered_;
    std::thread thread_;
};

// The visible progress dialogs of process pid: #32770 dialogs that hold a
// progress bar (msctls_progress32) and a Cancel button, whatever their caption.
std::vector<HWND> qv_find_progress_dialogs(DWORD pid);

// A progress dialog's caption, then the text of each of its static controls
// that holds any, top to bottom, one a line.
std::wstring qv_progress_dialog_text(HWND dialog);

// Presses the dialog's Cancel button as a click does (BM_CLICK); false when the
// dialog has no Cancel button.
bool qv_press_cancel(HWND dialog);
