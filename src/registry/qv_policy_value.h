#pragma once
// The fixed table of policy values that a policy text may set. Nothing writes the
// table; the registry updater copies it at construction.

#include "base/qv_string.h"

#include <windows.h>

// Value kinds; 1, 4 and 7 are the registry's own type numbers.
inline constexpr DWORD QV_POLICY_KIND_SZ = REG_SZ;
inline constexpr DWORD QV_POLICY_KIND_DWORD = REG_DWORD;
inline constexpr DWORD QV_POLICY_KIND_MULTI_SZ = REG_MULTI_SZ;
inline constexpr DWORD QV_POLICY_KIND_BOOLEAN_MEMORY_POLICY = 8;

struct QV_policy_value {
    QV_string code;        // three characters, matched without regard to case
    HKEY root;
    QV_string key_path;
    QV_string value_name;
    DWORD kind;            // selects the update rule; any other kind is never applied
    bool needs_restart;    // a change of this value asks for a restart of the machine
    DWORD min_value;       // inclusive bounds of a dword value, compared unsigned
    DWORD max_value;
};

inline constexpr size_t QV_POLICY_VALUE_COUNT = 28;

// In table order: a token applies to the first row whose code matches.
extern const QV_policy_value policy_value_table[QV_POLICY_VALUE_COUNT];

inline const QV_policy_value* policy_value_table_begin()
{
    return policy_value_table;
}

inline const QV_policy_value* policy_value_table_end()
{
    return policy_value_table + QV_POLICY_VALUE_COUNT;
}
