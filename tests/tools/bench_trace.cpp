// Speed of the trace for scripts/bench, each figure against a floor measured in
// the same process:
//   off: entry records with a short message while tracing is switched off, against
//        formatting the same line with _snwprintf alone;
//   on:  the same records written, against the least a serialised append needs
//        (mutex wait and release, open with the writer's flags, one write, close).
// Prints "<name> <records per second> <floor per second>" per line.
#include "qv_trace_file.h"
#include "trace/qv_trace.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace {

double seconds_now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs body(i) for about `budget` seconds; gives calls per second.
template <typename Body>
double rate_once(double budget, Body& body)
{
    int done = 0;
    double start = seconds_now(), elapsed = 0;
    do {
        for (int i = 0; i < 64; ++i)
            body(done + i);
        done += 64;
        elapsed = seconds_now() - start;
    } while (elapsed < budget);
    return done / elapsed;
}

// Candidate and floor measured in alternating rounds, so that a burst of load on
// the machine hits both; gives the median rate of each.
template <typename A, typename B>
void rates(A candidate, B floor, double* candidate_rate, double* floor_rate)
{
    constexpr int ROUNDS = 7;
    double a[ROUNDS], b[ROUNDS];
    for (int r = 0; r < ROUNDS; ++r) {
        a[r] = rate_once(0.15, candidate);
        b[r] = rate_once(0.15, floor);
    }
    std::sort(a, a + ROUNDS);
    std::sort(b, b + ROUNDS);
    *candidate_rate = a[ROUNDS / 2];
    *floor_rate = b[ROUNDS / 2];
}

void trace_record(int i)
{
    qv_trace_enter(L"bench", 0, L"count %d", i);
}

void format_only(int i)
{
    static wchar_t line[256];
    _snwprintf(line, 256, L"P:%4d,T:%4d %s[%d](%s%d)\n", static_cast<int>(GetCurrentProcessId()),
               static_cast<int>(GetCurrentThreadId()), L"bench_trace!bench", 0, L"count ", i);
}

struct Append_floor {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\qv_bench_trace_floor");
    std::wstring path = qv_trace_file_path() + L".floor";
    void operator()(int)
    {
        static const wchar_t line[] = L"12:00:00 [1234] P:1234,T:1240 bench_trace!bench[0](count 1)\n";
        WaitForSingleObject(mutex, INFINITE);
        HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  0x80000080, nullptr);
        DWORD written = 0;
        WriteFile(file, line, sizeof(line) - sizeof(wchar_t), &written, nullptr);
        CloseHandle(file);
        ReleaseMutex(mutex);
    }
};

} // namespace

int main()
{
    qv_clear_trace_switch();
    trace_record(0);  // reads the switch: off
    double off = 0, off_floor = 0;
    rates(trace_record, format_only, &off, &off_floor);
    std::printf("off %.0f %.0f\n", off, off_floor);

    qv_set_trace_switch(HKEY_CURRENT_USER, 1);
    Sleep(3100);  // the writer re-reads the switch after this
    qv_delete_trace_file();
    trace_record(0);
    Append_floor floor;
    double on = 0, on_floor = 0;
    rates(trace_record, floor, &on, &on_floor);
    std::printf("on %.0f %.0f\n", on, on_floor);
    qv_clear_trace_switch();
    qv_delete_trace_file();
    DeleteFileW(floor.path.c_str());
    return 0;
}
