#pragma once
// The driver's trace vocabulary. A row's index is the number the driver knows the
// level or flag by, so the rows never move.

inline constexpr int DX_DC_LEVEL_COUNT = 9;
inline constexpr int DX_DC_FLAG_COUNT = 73;

extern const wchar_t* const DX_DC_TRACE_LEVELS[DX_DC_LEVEL_COUNT];
extern const wchar_t* const DX_DC_TRACE_FLAGS[DX_DC_FLAG_COUNT];
