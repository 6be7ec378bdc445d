// The console build's progress: one line on standard error, rewritten in place,
// written only to a console (never into a file or a pipe).

#include "base/qv_progress.h"

#include <string>

namespace {

class Console_line;

// The line on the console now, for the writers' erase; the work's thread only.
Console_line* g_shown_line = nullptr;

class Console_line : public QV_progress_view {
public:
    explicit Console_line(HANDLE console) : console_(console) {}
    ~Console_line() override
    {
        erase();
        if (g_shown_line == this)
            g_shown_line = nullptr;
    }
    Console_line(const Console_line&) = delete;
    Console_line& operator=(const Console_line&) = delete;

    // A shorter text is padded over what the longer one left.
    void show(const QV_progress_figures& figures) override
    {
        QV_string text = qv_progress_text(figures);
        std::wstring line = L"\r" + std::wstring(text.c_str());
        if (text.length() < width_)
            line.append(width_ - text.length(), L' ');
        write(line);
        width_ = text.length();
        g_shown_line = this;
    }

    bool cancelled() override { return false; }

    // The cursor ends at the start of the blank line, where the next text goes.
    void erase()
    {
        if (width_ == 0)
            return;
        write(L"\r" + std::wstring(width_, L' ') + L"\r");
        width_ = 0;
    }

private:
    void write(const std::wstring& text)
    {
        DWORD written = 0;
        WriteConsoleW(console_, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    HANDLE console_;
    unsigned width_ = 0;  // characters shown now; 0 when nothing is
};

} // namespace

std::unique_ptr<QV_progress_view> qv_progress_console_line()
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error == nullptr || error == INVALID_HANDLE_VALUE || !GetConsoleMode(error, &mode))
        return nullptr;
    return std::make_unique<Console_line>(error);
}

void qv_progress_erase_console_line()
{
    if (g_shown_line)
        g_shown_line->erase();
}
