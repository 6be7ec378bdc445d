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

// Writer and switch.
void qv_trace_write(const wchar_t* text);
void qv_enable_user_mode_trace();
void qv_disable_user_mode_trace();

// The module whose file name prefixes records of free functions; null names the
// program's own executable.
void qv_set_module_handle(HMODULE module);
HMODULE qv_module_handle();
