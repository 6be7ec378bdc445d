#include "base/qv_progress.h"

#include "qv_test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Text_case {
    QV_progress_unit unit;
    ULONGLONG done;
    ULONGLONG total;
    const wchar_t* shown;
};

const Text_case TEXT_CASES[] = {
    {QV_progress_unit::bytes, 0, 0, L"0 bytes"},
    {QV_progress_unit::bytes, 1023, 0, L"1023 bytes"},
    {QV_progress_unit::bytes, 512, 1024, L"512 bytes of 1.0 KB, 50%"},
    {QV_progress_unit::bytes, 1536, 0, L"1.5 KB"},
    {QV_progress_unit::bytes, 1023 * 1024 + 972, 0, L"1023.9 KB"},  // .949: not yet a tenth more
    {QV_progress_unit::bytes, 1023 * 1024 + 973, 0, L"1.0 MB"},     // .950 rounds up: never "1024.0 KB"
    {QV_progress_unit::bytes, 1288490189, 2469606195, L"1.2 GB of 2.3 GB, 52%"},
    {QV_progress_unit::bytes, 5ull << 40, 0, L"5120.0 GB"},  // GB is the largest unit
    {QV_progress_unit::bytes, 2047, 2047, L"2.0 KB of 2.0 KB, 100%"},
    {QV_progress_unit::bytes, 3000, 2000, L"2.9 KB of 2.0 KB, 100%"},  // a file that grew meanwhile
    {QV_progress_unit::bytes, 999, 1000, L"999 bytes of 1000 bytes, 99%"},  // rounded down: 100% is the end
    {QV_progress_unit::entries, 0, 0, L"0 entries removed"},
    {QV_progress_unit::entries, 1, 0, L"1 entry removed"},
    {QV_progress_unit::entries, 17, 0, L"17 entries removed"},
    {QV_progress_unit::entries, 17, 40, L"17 of 40 entries removed, 42%"},
};

TEST(QvProgressText, FiguresAsAPersonReadsThem)
{
    for (const Text_case& c : TEXT_CASES) {
        EXPECT_EQ(std::wstring(c.shown), qv_progress_text({c.unit, c.done, c.total}).c_str())
            << c.done << " of " << c.total;
    }
}

DWORD g_now = 0;
DWORD WINAPI fake_clock()
{
    return g_now;
}

// What a reporter showed, through a view of the test.
struct Shown {
    std::vector<DWORD> at;  // the clock at each show
    bool cancel = false;    // what the view answers
    int views = 0;          // views made
};

class Recording_view : public QV_progress_view {
public:
    explicit Recording_view(Shown& shown) : shown_(shown) {}
    void show(const QV_progress_figures&) override { shown_.at.push_back(g_now); }
    bool cancelled() override { return shown_.cancel; }

private:
    Shown& shown_;
};

// The reporter's clock is the test's, starting at start.
class QvProgress : public testing::Test {
protected:
    void SetUp() override { qv_progress_tick_source = fake_clock; }
    void TearDown() override { qv_progress_tick_source = GetTickCount; }

    QV_progress::View_factory recorder()
    {
        return [this](const QV_progress_figures&) {
            ++shown_.views;
            return std::make_unique<Recording_view>(shown_);
        };
    }

    Shown shown_;
};

struct Timing_case {
    const char* name;
    DWORD start;
    std::vector<DWORD> steps;  // the clock at each step, after start
    std::vector<DWORD> shown;  // the steps' clocks that showed the figures
};

std::vector<DWORD> every_50_ms_to(DWORD end)
{
    std::vector<DWORD> at;
    for (DWORD t = 0; t <= end; t += 50)
        at.push_back(t);
    return at;
}

const Timing_case TIMING_CASES[] = {
    {"ends within a second", 0, {0, 500, 999}, {}},
    {"first show at one second", 0, {0, 1000}, {1000}},
    {"a quarter second between shows", 100, {1000, 1100, 1249, 1250, 1499, 1500}, {1000, 1250, 1500}},
    {"four a second at most", 0, every_50_ms_to(3000), {1000, 1250, 1500, 1750, 2000, 2250, 2500, 2750, 3000}},
    {"a long step shows at once", 0, {1000, 5000}, {1000, 5000}},
    {"the clock wraps at 512", 0xFFFFFE00u, {400, 600, 999, 1000, 1249, 1250}, {1000, 1250}},
};

TEST_F(QvProgress, ShowsAfterASecondAndAtMostFourTimesASecond)
{
    for (const Timing_case& c : TIMING_CASES) {
        SCOPED_TRACE(c.name);
        shown_ = {};
        g_now = c.start;
        QV_progress progress(QV_progress_unit::bytes, recorder(), false);
        std::vector<DWORD> expected;
        for (DWORD t : c.steps) {
            g_now = c.start + t;
            EXPECT_EQ(ERROR_SUCCESS, progress.step(t, 10000));
        }
        for (DWORD t : c.shown)
            expected.push_back(c.start + t);
        EXPECT_EQ(expected, shown_.at);
        EXPECT_EQ(c.shown.empty() ? 0 : 1, shown_.views);
    }
}

TEST_F(QvProgress, AStopAnswersCancelledAtEveryStepFromThen)
{
    struct Stop_case {
        const char* name;
        void (*ask)(QV_progress&, Shown&);
        DWORD first_cancelled_at;
    };
    const Stop_case cases[] = {
        {"stop called", [](QV_progress& p, Shown&) { p.stop(); }, 0},
        {"Cancel seen at a show", [](QV_progress&, Shown& s) { s.cancel = true; }, 1000},
    };
    for (const Stop_case& c : cases) {
        SCOPED_TRACE(c.name);
        shown_ = {};
        g_now = 0;
        QV_progress progress(QV_progress_unit::entries, recorder(), true);
        c.ask(progress, shown_);
        for (DWORD t : {0u, 999u, 1000u, 1100u, 2000u}) {
            g_now = t;
            EXPECT_EQ(t >= c.first_cancelled_at ? ERROR_CANCELLED : ERROR_SUCCESS, progress.step(t)) << t;
        }
        EXPECT_TRUE(progress.stopped());
    }
}

// Only the console build takes Ctrl+C, and only the events a person types.
TEST_F(QvProgress, ConsoleControlStopsOnlyAConsoleReporter)
{
    QV_progress gui(QV_progress_unit::bytes, recorder(), false);
    QV_progress console(QV_progress_unit::bytes, recorder(), true);
    EXPECT_FALSE(qv_progress_console_control(CTRL_CLOSE_EVENT));
    EXPECT_FALSE(console.stopped());
    EXPECT_TRUE(qv_progress_console_control(CTRL_C_EVENT));
    EXPECT_TRUE(console.stopped());
    EXPECT_FALSE(gui.stopped());
    QV_progress next(QV_progress_unit::bytes, recorder(), true);
    EXPECT_FALSE(next.stopped()) << "a new console reporter starts unstopped";
}

// Standard error redirected: the console build has no line to write to.
TEST(QvProgressConsole, NoLineWhenStandardErrorIsAFile)
{
    std::wstring folder = qv_fresh_sandbox(L"qv_progress_redirected");
    HANDLE file = CreateFileW((folder + L"\\stderr.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, file);
    EXPECT_EQ(nullptr, qv_progress_console_line());
    SetStdHandle(STD_ERROR_HANDLE, saved);
    CloseHandle(file);
    qv_remove_tree(folder);
}

}  // namespace
