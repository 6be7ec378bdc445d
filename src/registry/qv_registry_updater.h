#pragma once
// Applies a policy text to the registry: writes, rewrites or removes each named
// policy value only when that changes something, keeps the last applied text, and
// says whether a change needs a restart of the machine.

#include "base/qv_string.h"
#include "registry/qv_policy_text.h"
#include "registry/qv_policy_value.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Orders registry value names without regard to (ASCII) case, as the registry does.
struct QV_no_case_less {
    bool operator()(const QV_string& left, const QV_string& right) const;
};

// Value name of each boolean memory policy applied, to "true" or "false".
using QV_memory_policies = std::map<QV_string, QV_string, QV_no_case_less>;

class QV_registry_updater {
public:
    QV_registry_updater();
    virtual ~QV_registry_updater();

    // True when at least one registry value changed. restart_needed is written on every
    // path; when nothing changed it is false. A null text changes nothing.
    //
    // What a caller may rely on, also when the process is ended at any point:
    // - the reboot request key is created before the first value whose change needs
    //   a restart is written (with "R+" in force, before the first write of all; with
    //   "R-" in force, never); when it cannot be created, no such value is written.
    //   When restart_needed comes back true, the request is in place.
    // - the cached text is removed before the first write and written last, only when
    //   every value the text names is as it asks (also when nothing had to change):
    //   the cached text never names values that are not in force.
    bool update_values(const wchar_t* text, bool& restart_needed, QV_memory_policies* memory_policies);

    // True when text is not null and differs (case counts) from the cached policy
    // text, or when no cached text exists.
    static bool cached_value_differs(const wchar_t* text);
    // Creates the reboot request key volatile, replacing a key of that name first.
    static LONG create_reboot_key();

    // The per-row rules: each sets changed when it changed the registry and returns
    // the Win32 result of its last registry step (0 also when nothing was to be done).
    LONG update_sz(const QV_policy_value& row, const QV_string& value_text, bool& changed);
    LONG update_dword(const QV_policy_value& row, const QV_string& value_text, bool& changed);
    LONG update_multi_sz(const QV_policy_value& row, const QV_string& value_text, bool& changed);
    LONG update_boolean_memory_policy(const QV_policy_value& row, const QV_string& value_text, bool& changed,
                                      QV_memory_policies* memory_policies);

    // The follow-up writes and the cache: each gives its Win32 result, 0 for success
    // (a removal of what is not there is a success).
    LONG set_delete_pagefile();
    LONG set_cached_value(const wchar_t* text);
    LONG set_case_sensitive_notifications_reg_dword(const wchar_t* name, DWORD value);
    LONG delete_case_sensitive_notifications_reg_dword(const wchar_t* name);
    LONG delete_user_case_sensitive_notifications_reg_dword(const wchar_t* user_key_name, const wchar_t* name);

    const QV_string& get_change_summary() const { return change_summary; }

    static constexpr const wchar_t* CACHE_VALUE_NAME = L"zrn_cache";
    static constexpr const wchar_t* REBOOT_KEY_NAME = L"\\RebootRequest";
    static constexpr size_t MAX_LIST_TEXT = 511;   // characters of a list value text

private:
    // What the walk over one policy text has met so far.
    struct Walk {
        bool any_changed = false;
        bool restart_on = false;       // "R+" seen and not undone by a later "R-"
        bool restart_off = false;      // "R-" seen
        bool registry_failed = false;  // a rule left a value short of what the text asked
    };

    // Which changes need the reboot request: the last of "R+" and "R-" in the text
    // decides for every row; without either, the row's own flag does.
    enum class Restart_rule { by_row, always, never };
    static Restart_rule restart_rule_of(const wchar_t* text);
    // Asked by every rule right before it writes: makes the reboot request when this
    // row's change needs one and removes the cached text, once each, then makes the
    // row's follow-up writes. A failure is answered and the row is not written, so the
    // next run finds it still to change and makes its follow-ups again; a failure of
    // the request or the cache is kept for every later write, so nothing more is written.
    LONG before_write(const QV_policy_value& row, const QV_string& value_text);
    LONG follow_up(const QV_policy_value& row, const QV_string& value_text);
    LONG clear_cached_value();
    bool text_in_force(const wchar_t* text, const Walk& walk);

    const QV_policy_value* find_row(const std::wstring& key) const;
    void apply_token(const QV_policy_token& token, Walk& walk, bool& restart_needed,
                     QV_memory_policies* memory_policies);
    // Runs the row's rule and its follow-up rule; registry_failed is set when the rule
    // returned a failure that leaves the registry short of what the text asked.
    bool apply_row(const QV_policy_value& row, const QV_string& value_text, bool& registry_failed,
                   QV_memory_policies* memory_policies);
    // False for a notification text whose number does not fit 32 bits: such a
    // token is ignored whole, its text neither stored nor counted as a change.
    static bool case_sensitive_text_usable(const QV_string& value_text);
    LONG apply_case_sensitive_notifications(const QV_string& value_text);
    LONG set_case_sensitive_notifications(DWORD show_warning, DWORD show_again, DWORD time_between);
    LONG delete_all_case_sensitive_notifications();
    LONG apply_page_file_rule(const QV_string& value_text);
    void append_written(const QV_policy_value& row, const QV_string& value_text, const QV_string& old_text);
    void append_removed(const QV_policy_value& row);

    std::vector<QV_policy_value> policy_values;
    QV_string change_summary;
    // The write gate of the current update_values (a rule called on its own meets
    // the rule of the rows' own flags).
    Restart_rule restart_rule = Restart_rule::by_row;
    bool request_made = false;
    bool cache_cleared = false;
    LONG gate_failure = ERROR_SUCCESS;
    // A rule found its value already as the text asks (a removal: already absent).
    bool found_in_force = false;
};
