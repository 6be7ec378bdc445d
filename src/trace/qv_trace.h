#pragma once
// The product's diagnostic trace: record producers and the shared writer.
// Tracing never fails, never reports and never changes the thread's last error.

#include <windows.h>

#include <cstdarg>

// Records.
void qv_trace_enter(const wchar_t* function, int level, const wchar_t* format = nullptr, ...);
void qv_trace_printf(const wchar_t* function, const wchar_t* format, ...);
void qv_trace_vprintf(const wchar_t* function, const wchar_t* format, va_list args);
void qv_trace_error(const wchar_t* function, DWORD code);
void qv_trace_add_ref(const wchar_t* method, const void* object, long count);
void qv_trace_release(const wchar_t* method, const void* object, long count);
void qv_trace_query_interface(const wchar_t* function, int level, const IID* iid);

// A failed system call, reported the one way the program reports it: a message
// record under function that describes the call (format and arguments as for
// qv_trace_printf, ending in "\n"), then an error record with the failure's code.
// One function per shape of failure; like every record, they leave the last error
// as they found it.
// The thread's last error, as it is when called.
void qv_trace_failed_last_error(const wchar_t* function, const wchar_t* format, ...);
// A Win32 error code the call returned (the registry functions' LONG).
void qv_trace_failed_status(const wchar_t* function, LONG status, const wchar_t* format, ...);
void qv_trace_failed_hresult(const wchar_t* function, HRESULT hr, const wchar_t* format, ...);
// "<call> failed for '<path>'" with the last error; a null path is written empty.
void qv_trace_failed_call(const wchar_t* function, const wchar_t* call, const wchar_t* path);

// Writer and switch. The switch is the REG_DWORD value QV_TRACE_SWITCH_VALUE (1 = on)
// under QV_LOGGING_KEY of HKEY_LOCAL_MACHINE and of each user's hive.
inline constexpr const wchar_t* QV_LOGGING_KEY = L"Software\\Velmora\\Corvessa\\Logging";
inline constexpr const wchar_t* QV_TRACE_SWITCH_VALUE = L"EnableUserModeTrace";
void qv_trace_write(const wchar_t* text);
// Both switch under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, a failure under one
// root not stopping the other, then pause until every writer has re-read the
// switch. Each gives 0 when every switch is as asked (enable: written; disable:
// no longer on, read back when its removal failed), else the Win32 error of the
// first root whose switch is not.
DWORD qv_enable_user_mode_trace();
DWORD qv_disable_user_mode_trace();

// The module whose file name prefixes records of free functions; null names the
// program's own executable.
void qv_set_module_handle(HMODULE module);
HMODULE qv_module_handle();
