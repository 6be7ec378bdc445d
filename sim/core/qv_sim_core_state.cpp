#include "qv_sim_core.h"

#include "base/qv_unique.h"

#include <cstdio>

namespace {

QV_reg_key open_key(const std::wstring& path)
{
    QV_reg_key key;
    RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    return key;
}

DWORD read_dword(HKEY key, const wchar_t* name, DWORD fallback)
{
    DWORD value = 0, size = sizeof(value), type = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) ? value : fallback;
}

// A string or multi-string value as its raw characters, terminators included.
std::wstring read_chars(HKEY key, const wchar_t* name)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return L"";
    std::wstring chars(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(chars.data()), &size);
    chars.resize(size / sizeof(wchar_t));
    return chars;
}

std::wstring read_text(HKEY key, const wchar_t* name)
{
    std::wstring chars = read_chars(key, name);
    return chars.substr(0, chars.find(L'\0'));
}

std::vector<std::wstring> read_list(HKEY key, const wchar_t* name)
{
    std::vector<std::wstring> list;
    std::wstring chars = read_chars(key, name);
    for (size_t start = 0; start < chars.size() && chars[start];) {
        size_t end = chars.find(L'\0', start);
        end = end == std::wstring::npos ? chars.size() : end;
        list.push_back(chars.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

void write_dword(HKEY key, const wchar_t* name, DWORD value)
{
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void write_chars(HKEY key, const wchar_t* name, DWORD type, const std::wstring& chars)
{
    RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(chars.c_str()),
                   static_cast<DWORD>((chars.size() + 1) * sizeof(wchar_t)));
}

std::wstring entry_path(DWORD index)
{
    wchar_t name[16];
    std::swprintf(name, 16, L"%04lu", static_cast<unsigned long>(index));
    return std::wstring(QV_SIM_CORE_KEY) + L"\\Journal\\" + name;
}

} // namespace

void qv_sim_core_reset()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, QV_SIM_CORE_KEY);
}

void qv_sim_core_set_answer(const QV_sim_core_answer& answer)
{
    QV_reg_key key = open_key(QV_SIM_CORE_KEY);
    write_dword(key.get(), L"Hresult", static_cast<DWORD>(answer.hr));
    write_dword(key.get(), L"Result", static_cast<DWORD>(answer.result));
    if (answer.error_description.empty())
        RegDeleteValueW(key.get(), L"ErrorDescription");
    else
        write_chars(key.get(), L"ErrorDescription", REG_SZ, answer.error_description);
}

QV_sim_core_answer qv_sim_core_answer()
{
    QV_reg_key key = open_key(QV_SIM_CORE_KEY);
    QV_sim_core_answer answer;
    answer.hr = static_cast<HRESULT>(read_dword(key.get(), L"Hresult", S_OK));
    answer.result = static_cast<LONG>(read_dword(key.get(), L"Result", 0));
    answer.error_description = read_text(key.get(), L"ErrorDescription");
    return answer;
}

void qv_sim_core_record(const QV_sim_core_call& call)
{
    QV_reg_key journal = open_key(std::wstring(QV_SIM_CORE_KEY) + L"\\Journal");
    DWORD count = 0;
    RegQueryInfoKeyW(journal.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    QV_reg_key entry = open_key(entry_path(count));
    std::wstring parameters;
    for (const std::wstring& parameter : call.parameters)
        parameters += parameter + L'\0';
    write_chars(entry.get(), L"Class", REG_SZ, call.object_class);
    write_chars(entry.get(), L"Function", REG_SZ, call.function);
    write_chars(entry.get(), L"Parameters", REG_MULTI_SZ, parameters);
    write_chars(entry.get(), L"Request", REG_SZ, call.request);
    write_dword(entry.get(), L"ProcessId", call.process_id);
    write_dword(entry.get(), L"SerialMutexOwned", call.serial_mutex_owned ? 1 : 0);
}

std::vector<QV_sim_core_call> qv_sim_core_journal()
{
    std::vector<QV_sim_core_call> calls;
    for (DWORD index = 0;; ++index) {
        QV_reg_key entry;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, entry_path(index).c_str(), 0, KEY_READ, entry.put()) != ERROR_SUCCESS)
            return calls;
        QV_sim_core_call call;
        call.object_class = read_text(entry.get(), L"Class");
        call.function = read_text(entry.get(), L"Function");
        call.parameters = read_list(entry.get(), L"Parameters");
        call.request = read_text(entry.get(), L"Request");
        call.process_id = read_dword(entry.get(), L"ProcessId", 0);
        call.serial_mutex_owned = read_dword(entry.get(), L"SerialMutexOwned", 0) == 1;
        calls.push_back(call);
    }
}
