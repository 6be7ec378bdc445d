#pragma once
// How far a long piece of work has come, shown to a person at the machine, and
// the person's way to stop it.
//
// The work loop tells a QV_progress how far it is at each step and stops when the
// step answers ERROR_CANCELLED; nothing else. Work that ends within a second
// shows nothing. After that the figures are shown at most four times a second:
// in the GUI build in the system's progress dialog, with its Cancel button; in
// the console build as one line on standard error, rewritten in place, and only
// when standard error is a console, so that output captured in a file or a pipe
// is the same byte for byte whether the work was long or short. In the console
// build Ctrl+C and Ctrl+Break, while a reporter lives, stop the work at its next
// step instead of ending the process.

#include "base/qv_string.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

// Test seams; the product never changes them.
// The clock of the one-second threshold and of the rate limit; GetTickCount.
// Differences are taken modulo 2^32, so the clock may wrap during the work.
extern DWORD(WINAPI* qv_progress_tick_source)();
// Called at the start of every step; null in the product. A test slows the work
// with it to make a short run last seconds.
extern void (*qv_progress_step_delay)();

enum class QV_progress_unit { bytes, entries };

// done of total; a total of 0 is not known.
struct QV_progress_figures {
    QV_progress_unit unit;
    ULONGLONG done;
    ULONGLONG total;
};

// A size as a person reads it: "512 bytes" below one KB, else KB, MB or GB
// (of 1,024) with one decimal, rounded to the nearest tenth: "1.2 GB".
QV_string qv_byte_size_text(ULONGLONG bytes);

// The figures as shown: "1.2 GB of 2.3 GB, 52%" (the percentage rounded down;
// "1.2 GB" alone without a total), "1 entry removed", "17 entries removed",
// "17 of 40 entries removed, 42%".
QV_string qv_progress_text(const QV_progress_figures& figures);

// Where the figures are shown. A view lives from the first show to the end of
// the work; its destructor takes away what it showed.
class QV_progress_view {
public:
    virtual ~QV_progress_view() = default;
    // Shows figures in place of what it showed before.
    virtual void show(const QV_progress_figures& figures) = 0;
    // True once the person asked to stop here (the dialog's Cancel).
    virtual bool cancelled() = 0;
};

// The line on standard error; null when standard error is not a console.
std::unique_ptr<QV_progress_view> qv_progress_console_line();

// The system's progress dialog with the product's caption, activity as its first
// line and the figures on its second; null (traced) when it cannot be shown.
// Needs COM on the calling thread.
std::unique_ptr<QV_progress_view> qv_progress_dialog(const wchar_t* activity, const QV_progress_figures& first);

// Takes the console line away, when one is shown, so that text written next
// starts on a clean line; the next step shows it again. The console build's
// writers call it before every write. Only for the thread that runs the work.
void qv_progress_erase_console_line();

// The console control handler a console reporter installs: Ctrl+C and Ctrl+Break
// ask the work to stop and are handled (TRUE); other events are left to the
// system (FALSE).
BOOL WINAPI qv_progress_console_control(DWORD event);

class QV_progress {
public:
    using View_factory = std::function<std::unique_ptr<QV_progress_view>(const QV_progress_figures& first)>;

    // gui picks the build's view (the dialog, else the console line and the
    // console control handler); activity names the work in the dialog.
    QV_progress(bool gui, QV_progress_unit unit, const wchar_t* activity);
    // For tests: make_view is asked once, at the first show; a null view shows nothing.
    QV_progress(QV_progress_unit unit, View_factory make_view, bool console_control);
    ~QV_progress();
    QV_progress(const QV_progress&) = delete;
    QV_progress& operator=(const QV_progress&) = delete;

    // How far the work is. ERROR_SUCCESS to go on; ERROR_CANCELLED once a stop
    // was asked for, from then on at every step. One tick read when nothing is
    // due: cheap enough for every block of a copy.
    DWORD step(ULONGLONG done, ULONGLONG total = 0);
    // Asks the work to stop at its next step.
    void stop() { stop_ = true; }
    bool stopped() const;
    // Takes the view away (erases the line, closes the dialog). Called before the
    // command reports; the destructor calls it too.
    void end();

private:
    void show(const QV_progress_figures& figures, DWORD now);

    enum class State { waiting, showing, ended };
    QV_progress_unit unit_;
    View_factory make_view_;
    bool console_control_;
    std::atomic<bool> stop_{false};
    State state_ = State::waiting;
    std::unique_ptr<QV_progress_view> view_;
    DWORD start_;
    DWORD last_shown_ = 0;
};
