// Placeholder: the trace writer and record formats are not written yet; until
// they are, every record is dropped.
#include "trace/qv_trace.h"

void qv_trace_enter(const wchar_t*, int, const wchar_t*, ...) {}
void qv_trace_printf(const wchar_t*, const wchar_t*, ...) {}
void qv_trace_vprintf(const wchar_t*, const wchar_t*, va_list) {}
void qv_trace_error(const wchar_t*, DWORD) {}
void qv_trace_add_ref(const wchar_t*, const void*, long) {}
void qv_trace_release(const wchar_t*, const void*, long) {}
void qv_trace_query_interface(const wchar_t*, int, const IID*) {}
void qv_trace_write(const wchar_t*) {}
void qv_enable_user_mode_trace() {}
void qv_disable_user_mode_trace() {}
