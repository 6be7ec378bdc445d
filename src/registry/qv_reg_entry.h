#pragma once
// One registry item (a value or a key) that can be installed and uninstalled, and
// the three key operations (create_key, open_key, delete_key) that trace a failed
// key access. The entries and the value reader reach their keys through them.
// Not everything does: the updater's list values open their key with the system
// call (a missing key is no failure there), its notifications enumerate
// HKEY_USERS directly, and the trace switch and writer call the registry
// themselves (a trace record cannot trace its own failures).
// Every result here is a Win32 error code, 0 for success; every failure is traced.

#include "base/qv_string.h"
#include "base/qv_unique.h"

#include <windows.h>

// KEY_READ | KEY_WRITE: creating a key, or opening it for update.
inline constexpr REGSAM QV_REG_UPDATE_ACCESS = 0x2001F;
inline constexpr REGSAM QV_REG_READ_ACCESS = KEY_READ;

class QV_reg_entry {
public:
    // view 1 or 2 selects the 32-bit view; any other value the default view.
    QV_reg_entry(DWORD view, HKEY root, const QV_string& key_path);
    virtual LONG install() = 0;
    virtual LONG uninstall() = 0;
    // A heap copy the caller owns; null when memory runs out.
    virtual QV_reg_entry* clone() const = 0;
    virtual ~QV_reg_entry();

    // Creates the key or opens it when it exists; volatile exactly when is_volatile is 1
    // (an existing key keeps its own option). On failure key is left empty.
    static LONG create_key(DWORD view, HKEY root, const wchar_t* key_path, QV_reg_key& key,
                           DWORD is_volatile);
    // A missing key (2) is traced as a failure like any other; callers decide what it means.
    static LONG open_key(DWORD view, HKEY root, const wchar_t* key_path, QV_reg_key& key,
                         bool read_only);
    // Removes a key without subkeys. Silent on success.
    static LONG delete_key(DWORD view, HKEY root, const wchar_t* key_path);

    // KEY_WOW64_32KEY for the 32-bit view, else 0.
    static REGSAM view_flag(DWORD view);
    // How trace lines name a root: the three common predefined roots by name, any
    // other root (HKEY_USERS included) as "(Handle)".
    static const wchar_t* root_name(HKEY root);

    DWORD view;
    HKEY root;
    QV_string key_path;

protected:
    // The install steps the entries share; each failure is traced under function
    // ("Failed to create key: ..." / "Failed to set value: ...") with its error record.
    LONG create_for_install(const wchar_t* function, QV_reg_key& key, DWORD is_volatile) const;
    static LONG set_value(const wchar_t* function, QV_reg_key& key, const QV_string& value_name, DWORD type,
                          const void* data, DWORD size);
};
