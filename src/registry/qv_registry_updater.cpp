#include "registry/qv_registry_updater.h"

#include "registry/qv_policy_text.h"
#include "registry/qv_policy_update_lock.h"
#include "registry/qv_reg_key_entry.h"
#include "registry/qv_reg_sz_entry.h"
#include "registry/qv_reg_value_reader.h"
#include "registry/qv_registry_keys.h"
#include "trace/qv_trace.h"

namespace {

wchar_t ascii_lower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

bool QV_no_case_less::operator()(const QV_string& left, const QV_string& right) const
{
    const wchar_t* a = qv_text_of(left);
    const wchar_t* b = qv_text_of(right);
    for (; *a && ascii_lower(*a) == ascii_lower(*b); ++a, ++b) {
    }
    return ascii_lower(*a) < ascii_lower(*b);
}

QV_registry_updater::QV_registry_updater()
    : policy_values(policy_value_table_begin(), policy_value_table_end())
{
}

QV_registry_updater::~QV_registry_updater() = default;

const QV_policy_value* QV_registry_updater::find_row(const std::wstring& key) const
{
    for (const QV_policy_value& row : policy_values) {
        if (row.code.equals_no_case(key.c_str()))
            return &row;
    }
    return nullptr;
}

QV_registry_updater::Restart_rule QV_registry_updater::restart_rule_of(const wchar_t* text)
{
    Restart_rule rule = Restart_rule::by_row;
    for (std::wstring_view piece : qv_policy_pieces(text)) {
        QV_policy_token::Kind kind = qv_parse_policy_token(piece).kind;
        if (kind == QV_policy_token::restart_on)
            rule = Restart_rule::always;
        else if (kind == QV_policy_token::restart_off)
            rule = Restart_rule::never;
    }
    return rule;
}

bool QV_registry_updater::update_values(const wchar_t* text, bool& restart_needed,
                                        QV_memory_policies* memory_policies)
{
    change_summary = QV_string();
    if (!text) {
        restart_needed = false;
        return false;
    }
    restart_rule = restart_rule_of(text);
    request_made = false;
    cache_cleared = false;
    gate_failure = ERROR_SUCCESS;
    found_in_force = false;
    Walk walk;
    for (std::wstring_view piece : qv_policy_pieces(text))
        apply_token(qv_parse_policy_token(piece), walk, restart_needed, memory_policies);
    text_in_force(text, walk);
    if (!walk.any_changed) {
        restart_needed = false;
        return false;
    }
    if (walk.restart_on)
        restart_needed = true;
    else if (walk.restart_off)
        restart_needed = false;
    // The gate made the request before the first write that needed it; a flag the
    // caller passed in set is honoured the same way.
    if (restart_needed && !request_made)
        restart_needed = create_reboot_key() == ERROR_SUCCESS;
    return true;
}

// A text whose values did not all reach the registry stays uncached, so the same
// text is applied again next time instead of being taken as done. A text that
// found its values as it asks is cached even though it changed nothing: after a
// run that was ended between its writes and its cache, the next run of the text
// finds nothing to change, and the cache must then name it. A text that names no
// value in force (only restart tokens, or values that were skipped) is not.
bool QV_registry_updater::text_in_force(const wchar_t* text, const Walk& walk)
{
    if (walk.registry_failed || gate_failure != ERROR_SUCCESS || !(walk.any_changed || found_in_force))
        return false;
    return set_cached_value(text) == ERROR_SUCCESS;
}

LONG QV_registry_updater::before_write(const QV_policy_value& row, const QV_string& value_text)
{
    if (gate_failure != ERROR_SUCCESS)
        return gate_failure;
    bool needs_request =
        restart_rule == Restart_rule::always || (restart_rule == Restart_rule::by_row && row.needs_restart);
    if (needs_request && !request_made) {
        gate_failure = create_reboot_key();
        request_made = gate_failure == ERROR_SUCCESS;
    }
    if (gate_failure == ERROR_SUCCESS && !cache_cleared) {
        gate_failure = clear_cached_value();
        cache_cleared = gate_failure == ERROR_SUCCESS;
    }
    return gate_failure != ERROR_SUCCESS ? gate_failure : follow_up(row, value_text);
}

// Made before the row's own value, which thereby stands for both: a run that fails
// or ends in between leaves the row still to change.
LONG QV_registry_updater::follow_up(const QV_policy_value& row, const QV_string& value_text)
{
    if (row.kind == QV_POLICY_KIND_SZ && row.code.equals(L"CSN"))
        return apply_case_sensitive_notifications(value_text);
    if (row.kind == QV_POLICY_KIND_DWORD && row.code.equals(L"PTP"))
        return apply_page_file_rule(value_text);
    return ERROR_SUCCESS;
}

void QV_registry_updater::apply_token(const QV_policy_token& token, Walk& walk, bool& restart_needed,
                                      QV_memory_policies* memory_policies)
{
    if (token.kind == QV_policy_token::restart_on) {
        walk.restart_on = true;
        return;
    }
    if (token.kind == QV_policy_token::restart_off) {
        walk.restart_on = false;
        walk.restart_off = true;
        return;
    }
    const QV_policy_value* row = token.kind == QV_policy_token::value ? find_row(token.key) : nullptr;
    if (!row)
        return;
    bool changed = apply_row(*row, QV_string(token.value_text.c_str()), walk.registry_failed, memory_policies);
    if (changed && row->needs_restart) {
        qv_trace_printf(L"QV_registry_updater::update_values", L"RReq Setting the restart_needed flag.\n");
        restart_needed = true;
    }
    walk.any_changed = walk.any_changed || changed;
    if (qv_policy_token_applied)
        qv_policy_token_applied(qv_text_of(row->code));
}

// A follow-up rule that fails leaves the text short of what it asks, like a value
// that could not be written (the rules make the follow-ups, see before_write).
bool QV_registry_updater::apply_row(const QV_policy_value& row, const QV_string& value_text,
                                    bool& registry_failed, QV_memory_policies* memory_policies)
{
    bool changed = false;
    LONG result = ERROR_SUCCESS;
    bool csn = row.code.equals(L"CSN");
    switch (row.kind) {
    case QV_POLICY_KIND_SZ:
        if (csn && !case_sensitive_text_usable(value_text)) {
            result = ERROR_INVALID_DATA;   // never stored, so never cached
            break;
        }
        result = update_sz(row, value_text, changed);
        break;
    case QV_POLICY_KIND_DWORD:
        result = update_dword(row, value_text, changed);
        break;
    case QV_POLICY_KIND_MULTI_SZ:
        result = update_multi_sz(row, value_text, changed);
        break;
    case QV_POLICY_KIND_BOOLEAN_MEMORY_POLICY:
        if (memory_policies)
            result = update_boolean_memory_policy(row, value_text, changed, memory_policies);
        break;
    default:
        break;
    }
    // Removing a list value that is not there leaves nothing undone.
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        registry_failed = true;
    return changed;
}

bool QV_registry_updater::cached_value_differs(const wchar_t* text)
{
    if (!text)
        return false;
    QV_reg_value_reader reader(0, HKEY_LOCAL_MACHINE, QV_KD_SERVICE_KEY, CACHE_VALUE_NAME);
    if (!reader.exists())
        return true;
    return !reader.get_text().equals(text);
}

LONG QV_registry_updater::set_cached_value(const wchar_t* text)
{
    QV_reg_sz_entry entry(0, HKEY_LOCAL_MACHINE, QV_KD_SERVICE_KEY, CACHE_VALUE_NAME, text);
    LONG result = entry.install();
    if (result != ERROR_SUCCESS)
        qv_trace_printf(L"QV_registry_updater::set_cached_value", L"Failed to set cached value %ld\n", result);
    return result;
}

LONG QV_registry_updater::clear_cached_value()
{
    QV_reg_sz_entry entry(0, HKEY_LOCAL_MACHINE, QV_KD_SERVICE_KEY, CACHE_VALUE_NAME, QV_string());
    return entry.uninstall();
}

// The service key is made (or opened) first as a lasting key: a volatile create
// makes every missing key on its path volatile too, and the policy values written
// after the request would then vanish with it at the restart.
LONG QV_registry_updater::create_reboot_key()
{
    QV_reg_key_entry service(0, HKEY_LOCAL_MACHINE, QV_string(QV_KD_SERVICE_KEY), 0);
    QV_reg_key_entry entry(0, HKEY_LOCAL_MACHINE, QV_string(QV_KD_SERVICE_KEY) + REBOOT_KEY_NAME, 1);
    LONG result = service.install();
    if (result == ERROR_SUCCESS) {
        entry.uninstall();
        result = entry.install();
    }
    if (result != ERROR_SUCCESS)
        qv_trace_printf(L"QV_registry_updater::create_reboot_key", L"Failed to set reboot key %ld\n", result);
    return result;
}

void QV_registry_updater::append_written(const QV_policy_value& row, const QV_string& value_text,
                                         const QV_string& old_text)
{
    change_summary += row.code;
    change_summary += L":";
    change_summary += value_text;
    change_summary += L"[";
    change_summary += old_text.is_empty() ? L"empty" : qv_text_of(old_text);
    change_summary += L"]#";
}

void QV_registry_updater::append_removed(const QV_policy_value& row)
{
    change_summary += row.code;
    change_summary += L":[deleted]#";
}
