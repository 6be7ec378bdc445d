#pragma once
// Makes the driver component stand-in creatable for the tests: the installed
// product registers it; where it is not installed (a build without the package),
// the stand-in next to the test program is registered by hand and the
// registration goes again with this object.

#include "qv_child.h"

#include "shell/dx_driver_com.h"

#include <string>

class QV_driver_registration {
public:
    QV_driver_registration()
    {
        if (registered())
            return;
        // The user's registration first, as Windows reads it; the machine's where
        // the user's classes are not read.
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            if (!add(root))
                continue;
            if (creatable())
                return;
            remove();
        }
    }
    ~QV_driver_registration() { remove(); }
    QV_driver_registration(const QV_driver_registration&) = delete;
    QV_driver_registration& operator=(const QV_driver_registration&) = delete;

private:
    bool add(HKEY root)
    {
        HKEY key = nullptr;
        if (RegCreateKeyW(root, L"Software\\Classes\\CLSID\\{ED879E56-2DB1-417E-A2BD-4EC21760E596}\\InprocServer32",
                          &key) != ERROR_SUCCESS)
            return false;
        set(key, nullptr, qv_sibling_path(L"VlmKdDriverCom.dll"));
        set(key, L"ThreadingModel", L"Apartment");
        RegCloseKey(key);
        root_ = root;
        return true;
    }
    void remove()
    {
        if (root_)
            RegDeleteTreeW(root_, L"Software\\Classes\\CLSID\\{ED879E56-2DB1-417E-A2BD-4EC21760E596}");
        root_ = nullptr;
    }
    static void set(HKEY key, const wchar_t* name, const std::wstring& value)
    {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    static bool registered()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{ED879E56-2DB1-417E-A2BD-4EC21760E596}\\InprocServer32", 0,
                          KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    static bool creatable()
    {
        HRESULT init = CoInitialize(nullptr);
        HRESULT result;
        {
            QV_driver_com driver;
            result = dx_dc_create_driver(driver);
        }
        if (SUCCEEDED(init))
            CoUninitialize();
        return SUCCEEDED(result);
    }

    HKEY root_ = nullptr;
};
