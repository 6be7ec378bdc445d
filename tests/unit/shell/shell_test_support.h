#pragma once
// What the shell command tests share: the driver stand-in made creatable and
// reset, standard output and the message boxes of the process captured.

#include "qv_driver_registration.h"
#include "qv_sim_driver_state.h"

#include "base/qv_message_box.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <vector>

// Standard output (or, given STD_ERROR_HANDLE, standard error) of this process
// goes to a file while this lives; text() gives what was written so far.
class QV_stdout_capture {
public:
    explicit QV_stdout_capture(DWORD which = STD_OUTPUT_HANDLE) : which_(which)
    {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"out", 0, path_);
        file_ = CreateFileW(path_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        saved_ = GetStdHandle(which_);
        SetStdHandle(which_, file_);
    }
    ~QV_stdout_capture()
    {
        SetStdHandle(which_, saved_);
        CloseHandle(file_);
    }
    QV_stdout_capture(const QV_stdout_capture&) = delete;
    QV_stdout_capture& operator=(const QV_stdout_capture&) = delete;

    std::string text() const
    {
        std::string bytes;
        SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(file_, chunk, sizeof chunk, &got, nullptr) && got > 0)
            bytes.append(chunk, got);
        SetFilePointer(file_, 0, nullptr, FILE_END);
        return bytes;
    }

private:
    DWORD which_;
    wchar_t path_[MAX_PATH] = {};
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE saved_ = nullptr;
};

// Every box the process asks for, answered at once: "caption|text|style".
inline std::vector<std::wstring>& qv_captured_boxes()
{
    static std::vector<std::wstring> boxes;
    return boxes;
}

inline int WINAPI qv_capture_box(HWND, LPCWSTR text, LPCWSTR caption, UINT style)
{
    qv_captured_boxes().push_back(std::wstring(caption) + L"|" + text + L"|" + std::to_wstring(style));
    return IDOK;
}

// COM for the test's thread, the stand-in registered and reset, boxes captured.
class QV_driver_test : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        qv_sim_driver_reset();
        qv_captured_boxes().clear();
        saved_box_ = qv_message_box_w;
        qv_message_box_w = qv_capture_box;
    }
    void TearDown() override
    {
        qv_message_box_w = saved_box_;
        qv_sim_driver_reset();
        CoUninitialize();
    }

    // The methods this process called, in order.
    static std::vector<std::wstring> methods()
    {
        std::vector<std::wstring> names;
        for (const QV_sim_driver_call& call : qv_sim_driver_journal(GetCurrentProcessId()))
            names.push_back(call.method);
        return names;
    }

private:
    static QV_driver_registration registration_;
    int (WINAPI* saved_box_)(HWND, LPCWSTR, LPCWSTR, UINT) = nullptr;
};

inline QV_driver_registration QV_driver_test::registration_;
