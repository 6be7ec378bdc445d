#pragma once
// The pieces of dx_dc_invoke_command that work on a component already created.

#include "shell/dx_driver_com.h"

// Sets every flag that the setting's pattern matches to its level; in the
// console build each flag the driver took is listed as "<flag>=<level>", and a
// flag it refused is traced with the driver's answer. True when at least one
// flag was set; a malformed setting sets nothing. *refused (when given) tells
// whether the driver refused any flag.
bool dx_dc_change_tracing(const wchar_t* setting, IDxDriverCom* driver, bool gui, bool* refused = nullptr);

// The console-only test commands: they print the driver's answer to argument.
void dx_dc_is_attached(IDxDriverCom* driver, const wchar_t* argument);
void dx_dc_get_guid(IDxDriverCom* driver, const wchar_t* argument);
