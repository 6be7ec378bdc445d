// The flag setting of -change_tracing: "<flag pattern>=<level name>".

#include "shell/dx_dc_commands.h"
#include "shell/dx_dc_trace_tables.h"
#include "shell/dx_shell_output.h"
#include "base/qv_string.h"
#include "trace/qv_trace.h"

#include <cwchar>

namespace {

constexpr size_t PATTERN_LIMIT = 34;

// The characters before the first "=" into pattern (room for PATTERN_LIMIT and a
// terminator); the level name after it, or null when the text has no "=" or the
// pattern would be longer than the limit.
const wchar_t* split_setting(const wchar_t* setting, wchar_t* pattern)
{
    for (size_t i = 0;; ++i) {
        if (setting[i] == L'=') {
            pattern[i] = L'\0';
            return setting + i + 1;
        }
        if (setting[i] == L'\0' || i == PATTERN_LIMIT)
            return nullptr;
        pattern[i] = setting[i];
    }
}

int level_index(const wchar_t* name)
{
    for (int i = 0; i < DX_DC_LEVEL_COUNT; ++i) {
        if (std::wcscmp(DX_DC_TRACE_LEVELS[i], name) == 0)
            return i;
    }
    return -1;
}

// Equal texts match; otherwise the first "*" matches any run, and what follows it
// must end the name exactly (a further "*" there is a plain character).
bool pattern_matches(const wchar_t* pattern, const wchar_t* name)
{
    size_t i = 0;
    for (; pattern[i] != L'*'; ++i) {
        if (pattern[i] != name[i])
            return false;
        if (pattern[i] == L'\0')
            return true;
    }
    const wchar_t* rest = pattern + i + 1;
    const wchar_t* remainder = name + i;
    size_t rest_length = std::wcslen(rest);
    size_t remainder_length = std::wcslen(remainder);
    if (rest_length > remainder_length)
        return false;
    return std::wcscmp(remainder + remainder_length - rest_length, rest) == 0;
}

// One flag to its level; a refusal is traced, and the flag is not listed as set.
bool set_flag(IDxDriverCom* driver, int flag, int level)
{
    HRESULT result = dx_driver_set_flag_level(driver, flag, static_cast<BYTE>(level));
    if (SUCCEEDED(result))
        return true;
    qv_trace_printf(L"dx_dc_invoke_command", L"Failed to set %s to %s: %08X\n", DX_DC_TRACE_FLAGS[flag],
                    DX_DC_TRACE_LEVELS[level], result);
    return false;
}

} // namespace

bool dx_dc_change_tracing(const wchar_t* setting, IDxDriverCom* driver, bool gui, bool* refused)
{
    if (refused)
        *refused = false;
    wchar_t pattern[PATTERN_LIMIT + 1];
    const wchar_t* level_name = setting ? split_setting(setting, pattern) : nullptr;
    int level = level_name ? level_index(level_name) : -1;
    if (level < 0)
        return false;
    bool any = false;
    for (int flag = 0; flag < DX_DC_FLAG_COUNT; ++flag) {
        if (!pattern_matches(pattern, DX_DC_TRACE_FLAGS[flag]))
            continue;
        if (!set_flag(driver, flag, level)) {
            if (refused)
                *refused = true;
            continue;
        }
        if (!gui)
            dx_shell_write_console(QV_stringf(L"%s=%s\n", DX_DC_TRACE_FLAGS[flag], DX_DC_TRACE_LEVELS[level]).c_str());
        any = true;
    }
    return any;
}
