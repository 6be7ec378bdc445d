#pragma once
// Building command lines that another process splits with CommandLineToArgvW.

#include "base/qv_string.h"

// text between quotation marks, written so that CommandLineToArgvW gives it back
// unchanged: a run of backslashes before a quotation mark, embedded or closing,
// is doubled, and an embedded quotation mark becomes \". Null gives "".
QV_string qv_quote_argument(const wchar_t* text);
