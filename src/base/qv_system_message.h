#pragma once
// The system's own text for an error code.

#include "base/qv_unique.h"

#include <windows.h>

// The message id the system table is asked for: codes with any of the bits 20 to
// 27 set are looked up with those bits cleared.
DWORD qv_system_message_id(DWORD code);

// The text for qv_system_message_id(code), with the system's own line end; empty
// when the table has none.
QV_local qv_system_message(DWORD code);
