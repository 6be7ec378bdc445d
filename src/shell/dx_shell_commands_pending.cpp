// Placeholders for commands that are not written yet: each is recognised by the
// dispatcher and does nothing until its own code replaces the entry here.
#include "shell/dx_shell_commands.h"

void dx_shell_core_log_on() {}
void dx_shell_core_log_off() {}
void dx_shell_core_sync_user_data() {}
