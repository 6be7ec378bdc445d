#pragma once
// A fixture with tracing switched on through the registry, a fresh trace file and
// a clock the test moves by hand.

#include "qv_trace_file.h"
#include "trace/qv_trace.h"
#include "trace/qv_trace_seams.h"

#include <gtest/gtest.h>

#include <string>

struct Fake_clock {
    static inline DWORD now = 1000000;
    static DWORD WINAPI tick() { return now; }
};

class TraceFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        qv_clear_trace_switch();
        qv_set_trace_switch(HKEY_CURRENT_USER, 1);
        qv_delete_trace_file();
        qv_trace_tick_source = Fake_clock::tick;
        qv_trace_reset_writer_state();
    }
    void TearDown() override
    {
        qv_clear_trace_switch();
        qv_trace_reset_writer_state();
        qv_trace_tick_source = GetTickCount;
        qv_set_module_handle(nullptr);
        qv_delete_trace_file();
    }

    // Everything written so far with each line's stamp checked and removed.
    std::wstring records()
    {
        std::wstring out;
        for (const std::wstring& line : qv_split_lines(qv_read_trace_text())) {
            std::wstring rest;
            EXPECT_TRUE(qv_strip_stamp(line, GetCurrentProcessId(), &rest)) << "unstamped line: " << line;
            out += rest;
        }
        return out;
    }
};

// "%4d" written out by hand: right-aligned in four columns.
inline std::wstring pad4(DWORD value)
{
    std::wstring digits = std::to_wstring(value);
    return digits.size() >= 4 ? digits : std::wstring(4 - digits.size(), L' ') + digits;
}

inline std::wstring ids()
{
    return L"P:" + pad4(GetCurrentProcessId()) + L",T:" + pad4(GetCurrentThreadId());
}

// An address as the runtime's "%p" prints it: 16 upper-case hexadecimal digits.
inline std::wstring hex_address(const void* p)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    auto value = reinterpret_cast<unsigned long long>(p);
    std::wstring out(16, L'0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        out[i] = digits[value & 0xF];
    return out;
}
