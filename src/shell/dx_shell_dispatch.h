#pragma once

// Runs the one command that argv names and returns 0, whatever happened.
int Dx_shell_dispatch(bool gui, int argc, wchar_t** argv);
