#pragma once
// Another process holding a named mutex: mutex_holder.exe owns "Local\<name>"
// from ready() until finish(), then releases it (mode "release") or ends owning
// it, which leaves it abandoned (mode "abandon").

#include "qv_child.h"

#include <windows.h>

#include <string>

class QV_mutex_holder {
public:
    QV_mutex_holder(const std::wstring& name, const wchar_t* mode) : name_(name)
    {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + name + L"_ready").c_str());
        go_ = CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + name + L"_go").c_str());
        std::wstring line = qv_command_line(qv_sibling_path(L"mutex_holder.exe"), {name, mode});
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
        if (started_)
            CloseHandle(pi_.hThread);
    }
    ~QV_mutex_holder()
    {
        finish();
        CloseHandle(ready_);
        CloseHandle(go_);
    }
    bool ready() { return started_ && WaitForSingleObject(ready_, 20000) == WAIT_OBJECT_0; }
    void finish()
    {
        SetEvent(go_);
        if (started_) {
            WaitForSingleObject(pi_.hProcess, 20000);
            CloseHandle(pi_.hProcess);
            started_ = false;
        }
    }

private:
    std::wstring name_;
    HANDLE ready_ = nullptr;
    HANDLE go_ = nullptr;
    PROCESS_INFORMATION pi_{};
    BOOL started_ = FALSE;
};
