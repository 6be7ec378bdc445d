// -update_registry with a text that names a value of every kind, and one whose
// values have follow-up writes: after any fault each value is as before or as its
// rule writes it, the text is cached only when every value is as it asks, the
// cached text never names values that are not in force, no value that needs a
// restart changed without the reboot request, and the next run completes what was
// left.

#include "sweep.h"
#include "qv_test_registry.h"

#include "shell/dx_shell_commands.h"

namespace {

const wchar_t* const SERVICE_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvKD";
const wchar_t* const RM_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvRM";
const wchar_t* const MEMORY_KEY = L"System\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
const wchar_t* const REBOOT_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvKD\\RebootRequest";
const wchar_t* const CACHE = L"zrn_cache";

struct Stored {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string data;
    bool operator==(const Stored& other) const
    {
        return exists == other.exists && (!exists || (type == other.type && data == other.data));
    }
};

Stored wide_value(DWORD type, const std::wstring& text_with_nuls)
{
    return {true, type, std::string(reinterpret_cast<const char*>(text_with_nuls.data()), text_with_nuls.size() * 2)};
}

Stored dword_value(DWORD value)
{
    return {true, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4)};
}

Stored read_value(const wchar_t* key_path, const wchar_t* name)
{
    Stored stored;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return stored;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &stored.type, nullptr, &size) == ERROR_SUCCESS) {
        stored.data.resize(size);
        stored.exists = RegQueryValueExW(key, name, nullptr, &stored.type, reinterpret_cast<BYTE*>(stored.data.data()),
                                         &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return stored;
}

void write_value(const wchar_t* key_path, const wchar_t* name, const Stored& stored)
{
    HKEY key = nullptr;
    if (RegCreateKeyW(HKEY_LOCAL_MACHINE, key_path, &key) != ERROR_SUCCESS)
        return;
    if (stored.exists)
        RegSetValueExW(key, name, 0, stored.type, reinterpret_cast<const BYTE*>(stored.data.data()),
                       static_cast<DWORD>(stored.data.size()));
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

Stored text_value(const wchar_t* text)
{
    return wide_value(REG_SZ, std::wstring(text) + L'\0');
}

struct Policy_value {
    const wchar_t* key;
    const wchar_t* name;
    Stored before;
    Stored after;
    bool needs_restart;   // its change must not be seen without the reboot request
};

bool reboot_requested()
{
    return qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY);
}

class Update_registry : public Sweep_scenario {
public:
    // earlier: the text cached before the run, which names the values as before.
    Update_registry(const wchar_t* name, const wchar_t* policy, const wchar_t* earlier,
                    std::vector<Policy_value> values)
        : Sweep_scenario(name), policy_(policy), earlier_(earlier), values_(std::move(values))
    {
    }

    void prepare() override
    {
        if (saved_.empty()) {
            for (const Policy_value& value : values_)
                saved_.push_back(read_value(value.key, value.name));
            saved_.push_back(read_value(SERVICE_KEY, CACHE));
        }
        for (const Policy_value& value : values_)
            write_value(value.key, value.name, value.before);
        write_value(SERVICE_KEY, CACHE, text_value(earlier_));
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, REBOOT_KEY);
    }

    void run() override { dx_dc_update_registry(policy_); }

    std::string broken(const Sweep_run&) override
    {
        std::string what;
        bool all_before = true, all_written = true, unrequested = false;
        for (const Policy_value& value : values_) {
            Stored now = read_value(value.key, value.name);
            all_before = all_before && now == value.before;
            all_written = all_written && now == value.after;
            unrequested = unrequested || (value.needs_restart && !(now == value.before));
            if (!(now == value.before) && !(now == value.after))
                what += sweep_narrow(value.name) + " is neither as before nor as the rule writes it; ";
        }
        Stored cache = read_value(SERVICE_KEY, CACHE);
        if (cache == text_value(earlier_) && !all_before)
            what += "zrn_cache names the earlier text whose values are no longer in force; ";
        else if (cache.exists && !(cache == text_value(earlier_)) && !(cache == text_value(policy_)))
            what += "zrn_cache holds another text; ";
        if (cache == text_value(policy_) && !all_written)
            what += "zrn_cache was written although a rule failed; ";
        if (unrequested && !reboot_requested())
            what += "a value that needs a restart changed without the reboot request; ";
        return what;
    }

    std::string incomplete(const Sweep_run&) override
    {
        std::string what;
        for (const Policy_value& value : values_) {
            if (!(read_value(value.key, value.name) == value.after))
                what += sweep_narrow(value.name) + " is not as the rule writes it; ";
        }
        if (!(read_value(SERVICE_KEY, CACHE) == text_value(policy_)))
            what += "zrn_cache does not hold the text; ";
        if (!reboot_requested())
            what += "no reboot request; ";
        return what;
    }

    void finish() override
    {
        for (size_t i = 0; i < values_.size(); ++i)
            write_value(values_[i].key, values_[i].name, saved_[i]);
        write_value(SERVICE_KEY, CACHE, saved_.back());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, REBOOT_KEY);
    }

private:
    const wchar_t* policy_;
    const wchar_t* earlier_;
    std::vector<Policy_value> values_;
    std::vector<Stored> saved_;
};

// A string, a DWORD, a multi-string and a boolean memory policy (which the
// command itself never applies), and a restart request for every change.
std::unique_ptr<Sweep_scenario> every_kind()
{
    return std::make_unique<Update_registry>(
        L"update_registry", L"ALR:on#DAU:1#EPR:a.exe:b.exe#DPC:1#R+", L"DAU:0#EPR:x.exe",
        std::vector<Policy_value>{
            {SERVICE_KEY, L"DisableAdminLedRecovery", {}, wide_value(REG_SZ, std::wstring(L"on", 3)), true},
            {SERVICE_KEY, L"DisableAutoUnlock", dword_value(0), dword_value(1), true},
            {SERVICE_KEY, L"ExemptedProcesses", wide_value(REG_MULTI_SZ, std::wstring(L"x.exe\0", 7)),
             wide_value(REG_MULTI_SZ, std::wstring(L"a.exe\0b.exe\0", 13)), true}});
}

// The follow-up writes: the three notification settings after a "CSN" change, and
// the page-file clearing after "PTP:0", whose change needs a restart.
std::unique_ptr<Sweep_scenario> follow_ups()
{
    return std::make_unique<Update_registry>(
        L"update_registry_follow_ups", L"CSN:A30#PTP:0", L"CSN:N#PTP:1",
        std::vector<Policy_value>{
            {RM_KEY, L"CaseSensitiveNotifications", text_value(L"N"), text_value(L"A30"), false},
            {SERVICE_KEY, L"CaseSensitiveShowWarning", dword_value(0), dword_value(1), false},
            {SERVICE_KEY, L"CaseSensitiveShowAgainChoice", dword_value(0), dword_value(1), false},
            {SERVICE_KEY, L"CaseSensitiveTimeBetween", dword_value(0), dword_value(30), false},
            {SERVICE_KEY, L"PlaintextPageFile", dword_value(1), dword_value(0), true},
            {MEMORY_KEY, L"ClearPageFileAtShutdown", {}, dword_value(1), true}});
}

} // namespace

std::vector<std::unique_ptr<Sweep_scenario>> sweep_registry_scenarios()
{
    std::vector<std::unique_ptr<Sweep_scenario>> scenarios;
    scenarios.push_back(every_kind());
    scenarios.push_back(follow_ups());
    return scenarios;
}
