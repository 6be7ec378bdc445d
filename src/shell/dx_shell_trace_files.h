#pragma once
// The two user-mode trace files, built afresh by each trace command: the current
// user's (temporary folder) and the system's (the Windows folder's Temp).

#include "base/qv_path.h"

QV_path dx_shell_user_trace_file();
QV_path dx_shell_system_trace_file();
