// Throughput of the request scrambler against two baselines measured in the same
// run, in MB/s of UTF-16 input, best of several rounds each:
//   - a plain XOR-and-copy loop over a buffer that already exists;
//   - the honest floor: the allocation the algorithm prescribes
//     (SysAllocStringByteLen of 2(m + 1) bytes), the XOR-and-copy loop into it,
//     and its release. Under Wine that allocation alone costs about as much as
//     the loop, so no scrambler can come near the plain loop at large sizes.
// Sizes 1 KB, 64 KB and 1 MB of text; the goal is a ratio of at least 0.75 to the
// floor at each.
#include "base/qv_scramble.h"
#include "qv_bench_clock.h"
#include "shell/dx_shell_output.h"

#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int ROUNDS = 15;
constexpr size_t BYTES_PER_ROUND = 16u << 20;  // enough work per round for the timer at every size

__attribute__((noinline)) void xor_copy(const wchar_t* in, size_t n, wchar_t* out, wchar_t key)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<wchar_t>(in[i] ^ key);
}

// Best seconds per pass of work over the rounds.
template <typename Work>
double best_pass(int passes, Work work)
{
    double best = 1e30;
    for (int round = 0; round < ROUNDS; ++round) {
        double start = qv_seconds_now();
        for (int pass = 0; pass < passes; ++pass)
            work();
        double elapsed = (qv_seconds_now() - start) / passes;
        if (elapsed < best)
            best = elapsed;
    }
    return best;
}

void print(const char* text)
{
    dx_shell_write_console(text);
}

struct Figures {
    double plain;       // XOR-and-copy into an existing buffer
    double floor;       // allocation, XOR-and-copy into it, release
    double whole;       // qv_scramble_request_text and release
    double work;        // qv_scramble_into an existing buffer
    double allocation;  // allocation and release alone
};

Figures measure(const std::vector<wchar_t>& text, size_t units, unsigned& check)
{
    const size_t m = units + (units + 14) / 15;
    const UINT bytes = static_cast<UINT>((m + 1) * sizeof(wchar_t));
    const int passes = static_cast<int>(BYTES_PER_ROUND / (units * sizeof(wchar_t)));
    std::vector<wchar_t> copy(m + 1);
    Figures f;
    f.plain = best_pass(passes, [&] {
        xor_copy(text.data(), units, copy.data(), static_cast<wchar_t>(QV_SCRAMBLE_KEY));
        check += copy[units / 2];
    });
    f.floor = best_pass(passes, [&] {
        BSTR out = SysAllocStringByteLen(nullptr, bytes);
        if (out) {
            xor_copy(text.data(), units, out, static_cast<wchar_t>(QV_SCRAMBLE_KEY));
            out[m] = L'\0';
            check += out[units / 2];
        }
        SysFreeString(out);
    });
    f.whole = best_pass(passes, [&] {
        BSTR out = nullptr;
        if (SUCCEEDED(qv_scramble_request_text(text.data(), &out)))
            check += out[units / 2];
        SysFreeString(out);
    });
    f.work = best_pass(passes, [&] {
        qv_scramble_into(text.data(), units, copy.data());
        check += copy[units / 2];
    });
    f.allocation = best_pass(passes, [&] {
        BSTR out = SysAllocStringByteLen(nullptr, bytes);
        if (out)
            check += out[0];
        SysFreeString(out);
    });
    return f;
}

void report(const char* size, size_t units, const Figures& f)
{
    auto rate = [units](double seconds) { return units * sizeof(wchar_t) / 1e6 / seconds; };
    char line[512];
    std::snprintf(line, sizeof line,
                  "%s: qv_scramble_request_text %.0f MB/s, floor (allocation + XOR-and-copy) %.0f MB/s: "
                  "ratio %.2f to the floor (goal >= 0.75), %.2f to XOR-and-copy alone (%.0f MB/s)\n",
                  size, rate(f.whole), rate(f.floor), f.floor / f.whole, f.plain / f.whole, rate(f.plain));
    print(line);
    std::snprintf(line, sizeof line,
                  "  %s: scrambling into a buffer alone %.2f, allocating the result BSTR alone %.2f (ratios to "
                  "XOR-and-copy)\n",
                  size, f.plain / f.work, f.plain / f.allocation);
    print(line);
}

} // namespace

int main()
{
    constexpr size_t LARGEST = 512 * 1024;
    std::vector<wchar_t> text(LARGEST + 1, L'\0');
    std::mt19937 random(7);
    std::uniform_int_distribution<int> unit(1, 0xFFFF);
    for (size_t i = 0; i < LARGEST; ++i)
        text[i] = static_cast<wchar_t>(unit(random));
    unsigned check = 0;
    struct Size {
        const char* name;
        size_t units;
    } sizes[] = {{"1 KB", 512}, {"64 KB", 32 * 1024}, {"1 MB", LARGEST}};
    for (const Size& size : sizes) {
        std::vector<wchar_t> sized(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size.units));
        sized.push_back(L'\0');
        report(size.name, size.units, measure(sized, size.units, check));
    }
    char line[64];
    std::snprintf(line, sizeof line, "(check %u)\n", check & 1);
    print(line);
    return 0;
}
