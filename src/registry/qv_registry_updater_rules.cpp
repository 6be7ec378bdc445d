// The update rules of the four value kinds.
#include "registry/qv_registry_updater.h"

#include "base/qv_os.h"

#include "registry/qv_policy_text.h"
#include "registry/qv_reg_dword_entry.h"
#include "registry/qv_reg_sz_entry.h"
#include "registry/qv_reg_value_reader.h"
#include "registry/qv_registry_keys.h"
#include "trace/qv_trace.h"

namespace {

QV_reg_value_reader reader_of(const QV_policy_value& row)
{
    return QV_reg_value_reader(0, row.root, row.key_path, row.value_name);
}

bool asks_removal(const QV_string& value_text)
{
    return value_text.c_str() && value_text.c_str()[0] == L'-';
}

// Only "not found" makes a value absent; a key that cannot be read for another
// reason is a failure, never taken as "nothing there".
bool readable(LONG presence)
{
    return presence == ERROR_SUCCESS || presence == ERROR_FILE_NOT_FOUND;
}

} // namespace

LONG QV_registry_updater::update_sz(const QV_policy_value& row, const QV_string& value_text, bool& changed)
{
    if (value_text.is_empty())
        return ERROR_SUCCESS;
    QV_reg_value_reader reader = reader_of(row);
    LONG presence = reader.presence();
    if (!readable(presence))
        return presence;
    bool exists = presence == ERROR_SUCCESS;
    if (asks_removal(value_text)) {
        found_in_force = found_in_force || !exists;
        if (!exists)
            return ERROR_SUCCESS;
        if (LONG gate = before_write(row, value_text))
            return gate;
        QV_reg_sz_entry entry(0, row.root, row.key_path, row.value_name, QV_string());
        LONG result = entry.uninstall();
        if (result == ERROR_SUCCESS) {
            changed = true;
            append_removed(row);
        }
        return result;
    }
    QV_reg_stored_value stored = exists ? reader.read() : QV_reg_stored_value();
    if (stored.holds_text(value_text.c_str())) {
        found_in_force = true;
        return ERROR_SUCCESS;
    }
    if (LONG gate = before_write(row, value_text))
        return gate;
    QV_reg_sz_entry entry(0, row.root, row.key_path, row.value_name, value_text);
    LONG result = entry.install();
    if (result == ERROR_SUCCESS) {
        changed = true;
        append_written(row, value_text, stored.text());
    }
    return result;
}

LONG QV_registry_updater::update_dword(const QV_policy_value& row, const QV_string& value_text, bool& changed)
{
    static const wchar_t* const NAME = L"QV_registry_updater::update_dword";
    if (value_text.is_empty())
        return ERROR_SUCCESS;
    QV_reg_value_reader reader = reader_of(row);
    const wchar_t* code = qv_text_of(row.code);
    if (asks_removal(value_text)) {
        LONG presence = reader.presence();
        found_in_force = found_in_force || presence == ERROR_FILE_NOT_FOUND;
        if (presence != ERROR_SUCCESS)
            return presence == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : presence;
        if (LONG gate = before_write(row, value_text))
            return gate;
        QV_reg_dword_entry entry(0, row.root, row.key_path, row.value_name, 0, 0);
        LONG result = entry.uninstall();
        if (result == ERROR_SUCCESS) {
            qv_trace_printf(NAME, L"RReq Removing existing DWORD value %s from the registry.\n", code);
            changed = true;
            append_removed(row);
        }
        return result;
    }
    DWORD n = 0;
    if (!qv_parse_decimal(value_text.c_str(), n) || n < row.min_value || n > row.max_value)
        return ERROR_SUCCESS;
    LONG presence = reader.presence();
    if (!readable(presence))
        return presence;
    QV_reg_stored_value stored = presence == ERROR_SUCCESS ? reader.read() : QV_reg_stored_value();
    if (stored.holds_number(n)) {
        qv_trace_printf(NAME, L"RReq Got a DWORD %s update but the value (%i) is the same as the existing one.\n",
                        code, n);
        found_in_force = true;
        return ERROR_SUCCESS;
    }
    if (LONG gate = before_write(row, value_text))
        return gate;
    QV_reg_dword_entry entry(0, row.root, row.key_path, row.value_name, n, 0);
    LONG result = entry.install();
    if (result == ERROR_SUCCESS) {
        qv_trace_printf(NAME, L"RReq Changing the value of DWORD property %s to %i.\n", code, n);
        changed = true;
        append_written(row, value_text, stored.text());
    }
    return result;
}

LONG QV_registry_updater::update_multi_sz(const QV_policy_value& row, const QV_string& value_text, bool& changed)
{
    static const wchar_t* const NAME = L"QV_registry_updater::update_multi_sz";
    if (value_text.is_empty())
        return ERROR_SUCCESS;
    QV_reg_key key;
    // A list value is never created in a missing key.
    LONG opened = qv_reg_open_key(row.root, row.key_path.c_str(), 0, QV_REG_UPDATE_ACCESS, key.put());
    if (opened != ERROR_SUCCESS)
        return opened == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : opened;
    if (asks_removal(value_text)) {
        DWORD size = 0;
        LONG there = qv_reg_query_value_ex(key.get(), row.value_name.c_str(), nullptr, nullptr, nullptr, &size);
        found_in_force = found_in_force || there == ERROR_FILE_NOT_FOUND;
        if (there != ERROR_SUCCESS)
            return there;   // 2 when the value is not there: nothing was left undone
        if (LONG gate = before_write(row, value_text))
            return gate;
        LONG result = qv_reg_delete_value(key.get(), row.value_name.c_str());
        if (result == ERROR_SUCCESS) {
            changed = true;
            append_removed(row);
        }
        return result;
    }
    // Written whole or not at all: a list cut short would exempt other processes or
    // paths than the policy names.
    if (value_text.length() > MAX_LIST_TEXT) {
        qv_trace_printf(NAME, L"RReq The list for %s has %u characters, more than %u; it was not applied.\n",
                        qv_text_of(row.code), value_text.length(), static_cast<unsigned>(MAX_LIST_TEXT));
        return ERROR_SUCCESS;
    }
    std::vector<std::wstring> entries = qv_policy_list_entries(value_text.c_str(), row.code.equals(L"EDD"));
    if (QV_reg_stored_value(key.get(), row.value_name.c_str()).holds_entries(entries)) {
        found_in_force = true;
        return ERROR_SUCCESS;
    }
    if (LONG gate = before_write(row, value_text))
        return gate;
    std::vector<wchar_t> data = qv_multi_sz_data(entries);
    LONG result = qv_reg_set_value(key.get(), row.value_name.c_str(), 0, REG_MULTI_SZ,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    if (result == ERROR_SUCCESS) {
        changed = true;
        change_summary += row.code;
        change_summary += L":";
        change_summary += value_text;
        change_summary += L"#";
    }
    return result;
}

LONG QV_registry_updater::update_boolean_memory_policy(const QV_policy_value& row, const QV_string& value_text,
                                                       bool& changed, QV_memory_policies* memory_policies)
{
    static const wchar_t* const NAME = L"QV_registry_updater::update_boolean_memory_policy";
    if (!memory_policies)
        return ERROR_SUCCESS;
    DWORD number = 0;
    if (!qv_leading_decimal(qv_text_of(value_text), number))
        return ERROR_SUCCESS;
    bool b = number > 0;
    (*memory_policies)[row.value_name] = b ? L"true" : L"false";
    QV_reg_value_reader reader = reader_of(row);
    QV_reg_stored_value stored = reader.exists() ? reader.read() : QV_reg_stored_value();
    DWORD old_number = 0;
    bool in_form = stored.number(old_number);
    bool old = in_form && old_number != 0;
    QV_reg_dword_entry entry(0, row.root, row.key_path, row.value_name, b ? 1 : 0, 0);
    LONG result = before_write(row, value_text);
    if (result == ERROR_SUCCESS)
        result = entry.install();
    if (result != ERROR_SUCCESS) {
        qv_trace_printf(NAME, L"Failed to update boolean memory policy %s %s result %ld\n",
                        qv_text_of(row.key_path), qv_text_of(row.value_name), result);
        return ERROR_SUCCESS;   // a write that failed changed nothing
    }
    // A value of another type or size was rewritten as a number: that is a change too.
    changed = b != old || (stored.exists() && !in_form);
    return ERROR_SUCCESS;
}
