#pragma once
// Test seams of the trace writer and switch. The product never changes them.

#include <windows.h>

// The clock of the 3,000 ms switch cache; GetTickCount.
extern DWORD(WINAPI* qv_trace_tick_source)();
// The pause after switching tracing on or off; Sleep.
extern void(WINAPI* qv_trace_switch_pause)(DWORD milliseconds);
// Forgets the cached switch (the next record reads the registry) and starts the
// next record on a new line.
void qv_trace_reset_writer_state();
// Called with the trace file's path while the writer holds it open for a record,
// before the record is written; null in the product.
extern void (*qv_trace_file_held_probe)(const wchar_t* path);
