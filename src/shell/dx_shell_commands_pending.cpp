// Placeholders for commands that are not written yet: each is recognised by the
// dispatcher and does nothing until its own code replaces the entry here.
#include "shell/dx_shell_commands.h"

void dx_dc_invoke_command(bool, const wchar_t*, const wchar_t*) {}
bool dx_shell_force_delete(bool, const wchar_t*, bool) { return false; }
bool dx_shell_force_uninstall(bool, bool) { return false; }
bool dx_shell_version_self_test(bool) { return false; }
void dx_shell_blind_copy(bool, const QV_path&, const QV_path&) {}
void dx_shell_open_attachment(bool, const wchar_t*) {}
