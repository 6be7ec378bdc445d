#pragma once
// A fixture with the core stand-in registered, its journal and answer reset,
// and tracing on.

#include "../trace/trace_test_support.h"
#include "core_client/dx_core_com.h"
#include "qv_child.h"
#include "qv_sim_core.h"

#include <memory>
#include <string>

inline const wchar_t* const CORE_CLASS_KEYS[] = {
    L"CLSID\\{CAC187BB-9181-4E16-9C57-0E0BAA98F947}\\InprocServer32",
    L"CLSID\\{1A4E06FC-91E6-4594-824E-52D6BECBA9E6}\\InprocServer32",
};

// The two core classes registered to the stand-in next to this program. Wine
// looks classes up in HKEY_CLASSES_ROOT only, where an installed package may
// have registered them already: what was there is put back at the end.
class Core_registration {
public:
    Core_registration()
    {
        for (int i = 0; i < 2; ++i)
            saved_[i] = read(CORE_CLASS_KEYS[i]);
        install(qv_sibling_path(L"VlmKdAutomation.dll"));
    }
    ~Core_registration()
    {
        for (int i = 0; i < 2; ++i) {
            if (saved_[i].empty())
                remove(i);
            else
                write(CORE_CLASS_KEYS[i], saved_[i]);
        }
    }
    void install(const std::wstring& dll)
    {
        for (const wchar_t* key : CORE_CLASS_KEYS)
            write(key, dll);
    }
    void remove_all()
    {
        for (int i = 0; i < 2; ++i)
            remove(i);
    }

private:
    static std::wstring read(const wchar_t* path)
    {
        wchar_t value[MAX_PATH * 2] = {};
        LONG size = sizeof(value) - sizeof(wchar_t);
        return RegQueryValueW(HKEY_CLASSES_ROOT, path, value, &size) == ERROR_SUCCESS ? value : L"";
    }
    static void write(const wchar_t* path, const std::wstring& dll)
    {
        HKEY key = nullptr;
        if (RegCreateKeyW(HKEY_CLASSES_ROOT, path, &key) != ERROR_SUCCESS)
            return;
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                       static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
        const wchar_t model[] = L"Apartment";
        RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof(model));
        RegCloseKey(key);
    }
    static void remove(int i)
    {
        std::wstring clsid = CORE_CLASS_KEYS[i];
        RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid.substr(0, clsid.rfind(L'\\')).c_str());
    }

    std::wstring saved_[2];
};

class CoreClientTest : public TraceFileTest {
protected:
    void SetUp() override
    {
        TraceFileTest::SetUp();
        qv_sim_core_reset();
        registration_ = std::make_unique<Core_registration>();
        CoInitialize(nullptr);
    }
    void TearDown() override
    {
        CoFreeUnusedLibraries();
        CoUninitialize();
        registration_.reset();
        qv_sim_core_reset();
        TraceFileTest::TearDown();
    }
    bool traced(const std::wstring& text) { return records().find(text) != std::wstring::npos; }

    std::unique_ptr<Core_registration> registration_;
};
