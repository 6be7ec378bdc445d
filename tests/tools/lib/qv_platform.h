#pragma once
// Where Wine answers otherwise than Windows, a test names both answers and
// accepts each only on its own platform: the same test passes on a Windows
// machine and under Wine, and fails on either when the answer there changes.
// Never a loosened assertion that takes both answers everywhere.

#include <utility>

// True when the process runs under Wine: its ntdll exports wine_get_version,
// which no Windows ntdll does. Asked once, at the first call.
bool qv_running_on_wine();

// The answer of the platform the test runs on: windows on Windows, wine under
// Wine. Compare the result with what the call gave, e.g.
//     EXPECT_EQ(qv_windows_or_wine(ERROR_ACCESS_DENIED, ERROR_SUCCESS), error);
// String literals of different lengths are taken as pointers.
template <typename T>
T qv_windows_or_wine(T windows, T wine)
{
    return qv_running_on_wine() ? std::move(wine) : std::move(windows);
}
