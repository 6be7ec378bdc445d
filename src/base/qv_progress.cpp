#include "base/qv_progress.h"

#include <iterator>

DWORD(WINAPI* qv_progress_tick_source)() = GetTickCount;
void (*qv_progress_step_delay)() = nullptr;

namespace {

constexpr DWORD SILENT_MS = 1000;  // work that ends sooner shows nothing
constexpr DWORD REWRITE_MS = 250;  // at most four rewrites a second

// Set by the console control handler, which runs on a thread of its own; a new
// console reporter clears it.
std::atomic<bool> g_console_stop{false};

constexpr ULONGLONG KB = 1024;

// value / unit in tenths, rounded to the nearest, without overflow.
ULONGLONG tenths(ULONGLONG value, ULONGLONG unit)
{
    return value / unit * 10 + (value % unit * 10 + unit / 2) / unit;
}

unsigned percent(ULONGLONG done, ULONGLONG total)
{
    if (done >= total)
        return 100;
    return static_cast<unsigned>(static_cast<long double>(done) * 100 / static_cast<long double>(total));
}

QV_string entries_text(ULONGLONG done, ULONGLONG total)
{
    if (total == 0)
        return QV_stringf(done == 1 ? L"%I64u entry removed" : L"%I64u entries removed", done);
    return QV_stringf(L"%I64u of %I64u entries removed, %u%%", done, total, percent(done, total));
}

} // namespace

QV_string qv_byte_size_text(ULONGLONG bytes)
{
    if (bytes < KB)
        return QV_stringf(L"%u bytes", static_cast<unsigned>(bytes));
    static const wchar_t* const units[] = {L"KB", L"MB", L"GB"};
    ULONGLONG unit = KB;
    size_t index = 0;
    // 1,023.96 KB reads as 1.0 MB, never as 1024.0 KB.
    while (index + 1 < std::size(units) && tenths(bytes, unit) >= KB * 10) {
        unit *= KB;
        ++index;
    }
    ULONGLONG shown = tenths(bytes, unit);
    return QV_stringf(L"%I64u.%u %s", shown / 10, static_cast<unsigned>(shown % 10), units[index]);
}

QV_string qv_progress_text(const QV_progress_figures& figures)
{
    if (figures.unit == QV_progress_unit::entries)
        return entries_text(figures.done, figures.total);
    QV_string done = qv_byte_size_text(figures.done);
    if (figures.total == 0)
        return done;
    return done + L" of " + qv_byte_size_text(figures.total)
           + QV_stringf(L", %u%%", percent(figures.done, figures.total));
}

BOOL WINAPI qv_progress_console_control(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    g_console_stop = true;
    return TRUE;
}

QV_progress::QV_progress(bool gui, QV_progress_unit unit, const wchar_t* activity)
    : QV_progress(unit,
                  gui ? View_factory([activity = QV_string(activity)](const QV_progress_figures& first) {
                      return qv_progress_dialog(activity.c_str(), first);
                  })
                      : View_factory([](const QV_progress_figures&) { return qv_progress_console_line(); }),
                  !gui)
{
}

QV_progress::QV_progress(QV_progress_unit unit, View_factory make_view, bool console_control)
    : unit_(unit), make_view_(std::move(make_view)), console_control_(console_control),
      start_(qv_progress_tick_source())
{
    if (!console_control_)
        return;
    g_console_stop = false;
    SetConsoleCtrlHandler(qv_progress_console_control, TRUE);
}

QV_progress::~QV_progress()
{
    end();
    if (console_control_)
        SetConsoleCtrlHandler(qv_progress_console_control, FALSE);
}

bool QV_progress::stopped() const
{
    return stop_ || (console_control_ && g_console_stop);
}

DWORD QV_progress::step(ULONGLONG done, ULONGLONG total)
{
    if (qv_progress_step_delay)
        qv_progress_step_delay();
    if (stopped())
        return ERROR_CANCELLED;
    if (state_ == State::ended)
        return ERROR_SUCCESS;
    DWORD now = qv_progress_tick_source();
    if (now - start_ < SILENT_MS || (state_ == State::showing && now - last_shown_ < REWRITE_MS))
        return ERROR_SUCCESS;
    show({unit_, done, total}, now);
    return stopped() ? ERROR_CANCELLED : ERROR_SUCCESS;
}

// The first show makes the view; a build that cannot show anything ends here.
void QV_progress::show(const QV_progress_figures& figures, DWORD now)
{
    if (state_ == State::waiting) {
        view_ = make_view_(figures);
        state_ = view_ ? State::showing : State::ended;
    }
    if (!view_)
        return;
    last_shown_ = now;
    view_->show(figures);
    if (view_->cancelled())
        stop();
}

void QV_progress::end()
{
    view_.reset();
    state_ = State::ended;
}
