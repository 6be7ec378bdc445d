// The follow-up rules of two policy values: the case-sensitive notification settings
// that a change of "CSN" rewrites or removes, and the page-file clearing that
// "PTP" switched to 0 asks for.
#include "registry/qv_registry_updater.h"

#include "base/qv_os.h"

#include "registry/qv_policy_text.h"
#include "registry/qv_reg_dword_entry.h"
#include "registry/qv_registry_keys.h"
#include "trace/qv_trace.h"

#include <vector>

namespace {

constexpr const wchar_t* SHOW_WARNING = L"CaseSensitiveShowWarning";
constexpr const wchar_t* SHOW_AGAIN_CHOICE = L"CaseSensitiveShowAgainChoice";
constexpr const wchar_t* TIME_BETWEEN = L"CaseSensitiveTimeBetween";
constexpr const wchar_t* LAST_SHOWN = L"CaseSensitiveLastShown";

constexpr const wchar_t* MEMORY_MANAGEMENT_KEY =
    L"System\\CurrentControlSet\\Control\\Session Manager\\Memory Management";

} // namespace

namespace {

bool sets_a_time(wchar_t first)
{
    return first == L'A' || first == L'a' || first == L'D' || first == L'd';
}

} // namespace

// Storing such a text would leave the three settings stale, and caching it would
// keep the same text from ever being tried again.
bool QV_registry_updater::case_sensitive_text_usable(const QV_string& value_text)
{
    const wchar_t* text = qv_text_of(value_text);
    DWORD ignored = 0;
    return !sets_a_time(text[0]) || qv_leading_decimal(text + 1, ignored);
}

LONG QV_registry_updater::apply_case_sensitive_notifications(const QV_string& value_text)
{
    const wchar_t* text = qv_text_of(value_text);
    DWORD time_between = 0;
    switch (text[0]) {
    case L'A':
    case L'a':
    case L'D':
    case L'd':
        if (!qv_leading_decimal(text + 1, time_between))
            return ERROR_SUCCESS;   // such a text is never stored (case_sensitive_text_usable)
        return set_case_sensitive_notifications(1, (text[0] == L'A' || text[0] == L'a') ? 1 : 0, time_between);
    case L'N':
    case L'n':
        return set_case_sensitive_notifications(0, 0, 0);
    case L'-':
        return delete_all_case_sensitive_notifications();
    default:
        return ERROR_SUCCESS;
    }
}

namespace {

// The first failure of several steps that all run.
void keep_first(LONG& first, LONG result)
{
    if (first == ERROR_SUCCESS)
        first = result;
}

} // namespace

// All three are set even after a failure, so that as few as possible stay stale.
LONG QV_registry_updater::set_case_sensitive_notifications(DWORD show_warning, DWORD show_again,
                                                           DWORD time_between)
{
    LONG first = set_case_sensitive_notifications_reg_dword(SHOW_WARNING, show_warning);
    keep_first(first, set_case_sensitive_notifications_reg_dword(SHOW_AGAIN_CHOICE, show_again));
    keep_first(first, set_case_sensitive_notifications_reg_dword(TIME_BETWEEN, time_between));
    return first;
}

LONG QV_registry_updater::delete_all_case_sensitive_notifications()
{
    LONG first = ERROR_SUCCESS;
    DWORD longest = 0;
    // A list of the users that cannot be read or ends early is a failure of the
    // whole deletion: some user's settings may stay.
    LONG listed = qv_reg_query_info_key(HKEY_USERS, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
    std::vector<wchar_t> name(static_cast<size_t>(longest) + 1, L'\0');
    for (DWORD index = 0; listed == ERROR_SUCCESS; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        listed = qv_reg_enum_key(HKEY_USERS, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (listed != ERROR_SUCCESS)
            break;
        keep_first(first, delete_user_case_sensitive_notifications_reg_dword(name.data(), SHOW_WARNING));
        keep_first(first, delete_user_case_sensitive_notifications_reg_dword(name.data(), LAST_SHOWN));
    }
    if (listed != ERROR_NO_MORE_ITEMS)
        keep_first(first, listed);
    keep_first(first, delete_case_sensitive_notifications_reg_dword(SHOW_WARNING));
    keep_first(first, delete_case_sensitive_notifications_reg_dword(SHOW_AGAIN_CHOICE));
    keep_first(first, delete_case_sensitive_notifications_reg_dword(TIME_BETWEEN));
    return first;
}

LONG QV_registry_updater::set_case_sensitive_notifications_reg_dword(const wchar_t* name, DWORD value)
{
    QV_reg_dword_entry entry(0, HKEY_LOCAL_MACHINE, QV_KD_SERVICE_KEY, name, value, 0);
    LONG result = entry.install();
    if (result != ERROR_SUCCESS)
        qv_trace_printf(L"QV_registry_updater::set_case_sensitive_notifications_reg_dword",
                        L"Failed to set %s to %d %ld\n", name, value, result);
    return result;
}

LONG QV_registry_updater::delete_case_sensitive_notifications_reg_dword(const wchar_t* name)
{
    QV_reg_dword_entry entry(0, HKEY_LOCAL_MACHINE, QV_KD_SERVICE_KEY, name, 0, 0);
    LONG result = entry.uninstall();
    if (result != ERROR_SUCCESS)
        qv_trace_printf(L"QV_registry_updater::delete_case_sensitive_notifications_reg_dword",
                        L"Failed to delete %s %ld\n", name, result);
    return result;
}

LONG QV_registry_updater::delete_user_case_sensitive_notifications_reg_dword(const wchar_t* user_key_name,
                                                                             const wchar_t* name)
{
    QV_string key_path = QV_string(user_key_name) + L"\\" + QV_PRODUCT_SETTINGS_KEY;
    QV_reg_dword_entry entry(0, HKEY_USERS, key_path, name, 0, 0);
    LONG result = entry.uninstall();
    if (result == ERROR_SUCCESS)
        qv_trace_printf(L"QV_registry_updater::delete_user_case_sensitive_notifications_reg_dword",
                        L"Deleted %s %s\n", qv_text_of(key_path), name);
    return result;
}

LONG QV_registry_updater::apply_page_file_rule(const QV_string& value_text)
{
    DWORD n = 0;
    if (qv_leading_decimal(qv_text_of(value_text), n) && n == 0)
        return set_delete_pagefile();
    return ERROR_SUCCESS;
}

LONG QV_registry_updater::set_delete_pagefile()
{
    QV_reg_dword_entry entry(0, HKEY_LOCAL_MACHINE, MEMORY_MANAGEMENT_KEY, L"ClearPageFileAtShutdown", 1, 0);
    LONG result = entry.install();
    if (result != ERROR_SUCCESS)
        qv_trace_printf(L"QV_registry_updater::set_delete_pagefile", L"Failed to set pagefile delete value %ld\n",
                        result);
    return result;
}
