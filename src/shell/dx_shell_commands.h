#pragma once
// The commands behind the program's options. Each reports its own outcome in the
// build's channel; the dispatcher ignores every result.

#include "base/qv_path.h"

void dx_dc_invoke_command(bool gui, const wchar_t* command, const wchar_t* argument);
void dx_shell_set_user_mode_trace(bool gui, bool enable);
void dx_shell_collect_user_mode_trace(bool gui, const wchar_t* cabinet_path);
bool dx_shell_force_delete(bool gui, const wchar_t* path, bool no_elevate);
bool dx_shell_force_uninstall(bool gui, bool no_elevate);
bool dx_shell_version_self_test(bool gui);
void dx_shell_blind_copy(bool gui, const QV_path& source, const QV_path& destination);
void dx_shell_open_attachment(bool gui, const wchar_t* path);

// Requests to the product's core process, through the user-mode client: log-on
// with wallet type 0, log-off with wallet type 1, re-synchronisation. Nothing is
// shown; the trace holds the exchange.
void dx_shell_core_log_on();
void dx_shell_core_log_off();
void dx_shell_core_sync_user_data();

// Applies a policy text to the registry.
void dx_dc_update_registry(const wchar_t* policy_text);
