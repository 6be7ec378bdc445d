#pragma once
// The machine's trace switch as a user without administrator rights meets it:
// the logging key under HKEY_LOCAL_MACHINE can be read, but no value set, no
// subkey made and the key not deleted (its DACL denies those to everyone).
// Wine does not check DELETE when a key is deleted; a subkey keeps the key in
// place there, as the denied deletion does on Windows.

#include "trace/qv_trace.h"

#include <sddl.h>
#include <windows.h>

#include <string>

class QV_machine_switch_denied {
public:
    // With on, the key holds the switch set to 1 before the denial.
    explicit QV_machine_switch_denied(bool on)
    {
        lift();
        HKEY key = nullptr;
        if (RegCreateKeyW(HKEY_LOCAL_MACHINE, HELD, &key) == ERROR_SUCCESS)
            RegCloseKey(key);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, QV_LOGGING_KEY, 0, KEY_SET_VALUE | WRITE_DAC, &key) != ERROR_SUCCESS)
            return;
        DWORD value = 1;
        if (on)
            RegSetValueExW(key, QV_TRACE_SWITCH_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        // Deny KEY_SET_VALUE, KEY_CREATE_SUB_KEY and DELETE; allow the rest.
        denied_ = set_dacl(key, L"D:(D;;0x10006;;;WD)(A;;KA;;;WD)");
        RegCloseKey(key);
    }
    ~QV_machine_switch_denied() { lift(); }
    QV_machine_switch_denied(const QV_machine_switch_denied&) = delete;
    QV_machine_switch_denied& operator=(const QV_machine_switch_denied&) = delete;

    // False when the denial could not be put in place.
    bool denied() const { return denied_; }

    // Takes the denial away and removes the machine's logging key with its subkey.
    static void lift()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, QV_LOGGING_KEY, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            set_dacl(key, L"D:(A;;KA;;;WD)");
            RegCloseKey(key);
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, QV_LOGGING_KEY);
    }

private:
    static constexpr const wchar_t* HELD = L"Software\\Velmora\\Corvessa\\Logging\\Held";

    static bool set_dacl(HKEY key, const wchar_t* sddl)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
            return false;
        bool set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        LocalFree(descriptor);
        return set;
    }

    bool denied_ = false;
};
