// -update_registry with a text that names a value of every kind: after any
// fault each value is as before or as its rule writes it, the text is cached
// only when every rule succeeded, and the next run completes what was left.

#include "sweep.h"

#include "shell/dx_shell_commands.h"

namespace {

const wchar_t* const SERVICE_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvKD";
const wchar_t* const REBOOT_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvKD\\RebootRequest";
// A string, a DWORD, a multi-string and a boolean memory policy (which the
// command itself never applies), and a restart request.
const wchar_t* const POLICY = L"ALR:on#DAU:1#EPR:a.exe:b.exe#DPC:1#R+";

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

Stored read_value(const wchar_t* name)
{
    Stored stored;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SERVICE_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
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

void write_value(const wchar_t* name, const Stored& stored)
{
    HKEY key = nullptr;
    if (RegCreateKeyW(HKEY_LOCAL_MACHINE, SERVICE_KEY, &key) != ERROR_SUCCESS)
        return;
    if (stored.exists)
        RegSetValueExW(key, name, 0, stored.type, reinterpret_cast<const BYTE*>(stored.data.data()),
                       static_cast<DWORD>(stored.data.size()));
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

struct Policy_value {
    const wchar_t* name;
    Stored before;
    Stored after;
};

class Update_registry : public Sweep_scenario {
public:
    Update_registry()
        : Sweep_scenario(L"update_registry"),
          values_{{L"DisableAdminLedRecovery", {}, wide_value(REG_SZ, std::wstring(L"on", 3))},
                  {L"DisableAutoUnlock", dword_value(0), dword_value(1)},
                  {L"ExemptedProcesses", wide_value(REG_MULTI_SZ, std::wstring(L"x.exe\0", 7)),
                   wide_value(REG_MULTI_SZ, std::wstring(L"a.exe\0b.exe\0", 13))}}
    {
    }

    void prepare() override
    {
        if (saved_.empty()) {
            for (const Policy_value& value : values_)
                saved_.push_back(read_value(value.name));
            saved_.push_back(read_value(L"zrn_cache"));
        }
        for (const Policy_value& value : values_)
            write_value(value.name, value.before);
        write_value(L"zrn_cache", {});
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, REBOOT_KEY);
    }

    void run() override { dx_dc_update_registry(POLICY); }

    std::string broken(const Sweep_run&) override
    {
        std::string what;
        bool all_written = true;
        for (const Policy_value& value : values_) {
            Stored now = read_value(value.name);
            all_written = all_written && now == value.after;
            if (!(now == value.before) && !(now == value.after))
                what += sweep_narrow(value.name) + " is neither as before nor as the rule writes it; ";
        }
        Stored cache = read_value(L"zrn_cache");
        if (cache.exists && !(cache == cached()))
            what += "zrn_cache holds another text; ";
        if (cache.exists && !all_written)
            what += "zrn_cache was written although a rule failed; ";
        return what;
    }

    std::string incomplete(const Sweep_run&) override
    {
        std::string what;
        for (const Policy_value& value : values_) {
            if (!(read_value(value.name) == value.after))
                what += sweep_narrow(value.name) + " is not as the rule writes it; ";
        }
        if (!(read_value(L"zrn_cache") == cached()))
            what += "zrn_cache does not hold the text; ";
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, REBOOT_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
            what += "no reboot request; ";
        else
            RegCloseKey(key);
        return what;
    }

    void finish() override
    {
        for (size_t i = 0; i < values_.size(); ++i)
            write_value(values_[i].name, saved_[i]);
        write_value(L"zrn_cache", saved_.back());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, REBOOT_KEY);
    }

private:
    static Stored cached() { return wide_value(REG_SZ, std::wstring(POLICY) + L'\0'); }

    std::vector<Policy_value> values_;
    std::vector<Stored> saved_;
};

} // namespace

std::vector<std::unique_ptr<Sweep_scenario>> sweep_registry_scenarios()
{
    std::vector<std::unique_ptr<Sweep_scenario>> scenarios;
    scenarios.push_back(std::make_unique<Update_registry>());
    return scenarios;
}
