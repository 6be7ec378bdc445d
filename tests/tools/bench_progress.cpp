// What the progress reporter costs the work that reports to it: copying 32 KB
// blocks (the cabinet library's block) out of a 64 MB buffer, with one step of a
// showing reporter per block, against the same copy without it, in alternating
// rounds of the same process (which goes first alternates), the median of the
// rounds' ratios. The copy from memory is the cheapest block a loop can have;
// reading a file makes each block dearer and the step's share smaller still.
// Prints the ratio (goal <= 1.01) and, from a loop of steps alone, a step's cost.
#include "base/qv_progress.h"
#include "qv_bench_clock.h"
#include "shell/dx_shell_output.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int ROUNDS = 41;
constexpr int STEPS = 10000000;
constexpr size_t BLOCK = 32 * 1024;
constexpr size_t BUFFER = 64u << 20;

// Shown four times a second, as a console line is, without writing anywhere.
class Quiet_view : public QV_progress_view {
public:
    void show(const QV_progress_figures& figures) override { last_ = figures.done; }
    bool cancelled() override { return false; }

private:
    volatile ULONGLONG last_ = 0;
};

template <typename Step>
double copy_round(const std::vector<char>& from, std::vector<char>& to, Step step)
{
    double start = qv_seconds_now();
    for (size_t at = 0; at < BUFFER; at += BLOCK) {
        std::memcpy(to.data() + at % (1u << 20), from.data() + at, BLOCK);
        step(at + BLOCK);
    }
    return qv_seconds_now() - start;
}

// Seconds of one step of progress, from a loop of steps alone.
double step_seconds(QV_progress& progress)
{
    double start = qv_seconds_now();
    for (int i = 0; i < STEPS; ++i)
        progress.step(static_cast<ULONGLONG>(i), STEPS);
    return (qv_seconds_now() - start) / STEPS;
}

} // namespace

int main()
{
    std::vector<char> from(BUFFER, 'q');
    std::vector<char> to(1u << 20);
    // Past its first second from the start, so that every round pays the showing state.
    QV_progress progress(
        QV_progress_unit::bytes, [](const QV_progress_figures&) { return std::make_unique<Quiet_view>(); }, false);
    Sleep(1100);
    std::vector<double> ratios;
    auto bare = [&] { return copy_round(from, to, [](size_t) {}); };
    auto reported = [&] { return copy_round(from, to, [&](size_t done) { progress.step(done, BUFFER); }); };
    for (int round = 0; round < ROUNDS; ++round) {
        double with = 0, without = 0;
        if (round % 2) {
            without = bare();
            with = reported();
        } else {
            with = reported();
            without = bare();
        }
        ratios.push_back(with / without);
    }
    std::sort(ratios.begin(), ratios.end());
    dx_shell_write_console(QV_stringf("progress, 32 KB blocks with a step vs without (goal <= 1.01): ratio %.3f "
                                      "(median of %d rounds), %.1f ns a step\n",
                                      ratios[ROUNDS / 2], ROUNDS, step_seconds(progress) * 1e9)
                               .narrow());
    return 0;
}
