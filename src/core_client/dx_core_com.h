#pragma once
// The client of the product's core process: asks it to log the user on or off,
// or to synchronise the user's data, with a scrambled XML request.
//
// In user mode it refuses to start a second core for a user whose core runs at
// the other elevation, and it holds the session's serialisation mutex for the
// whole exchange. The results are a failing HRESULT or the core's own result.

#include "base/qv_mutex.h"
#include "base/qv_string.h"
#include "core_client/dx_core_interfaces.h"

class DX_core_com {
public:
    // service_mode nonzero: the service core object, without checks or lock.
    explicit DX_core_com(int service_mode);
    ~DX_core_com();
    DX_core_com(const DX_core_com&) = delete;
    DX_core_com& operator=(const DX_core_com&) = delete;

    LONG log_on(DWORD wallet_type);
    LONG log_off(DWORD wallet_type);
    LONG sync_user_data();

    // Creates the core object of the mode. In user mode mutex_out receives the
    // owned serialisation mutex (also when creation then fails); the caller
    // releases it. CO_E_SERVER_EXEC_FAILURE when the user's core runs at the
    // other elevation: then nothing is created and mutex_out is empty.
    HRESULT create(DX_core_disp_iPtr& core, DX_core_service_disp_iPtr& service, QV_held_mutex& mutex_out);

    // The presence mutex names of this process's user: with the elevation digit
    // and without it (either out may be null). False when the SID cannot be read.
    static bool get_mutex_name_strings(QV_string* with_elevation, QV_string* without_elevation);

    // Hands the request to run_function. A failure is traced with its standard
    // COM message and returned; the pointer copy is released on every path.
    static HRESULT call_core(DX_core_disp_iPtr core, const wchar_t* request, BSTR* response, LONG* result);
    static HRESULT call_core_srv(DX_core_service_disp_iPtr service, const wchar_t* request, BSTR* response,
                                 LONG* result);

private:
    LONG run(const wchar_t* function, const DWORD* wallet_type);
    LONG exchange(const wchar_t* function, const DWORD* wallet_type, const DX_core_disp_iPtr& core,
                  const DX_core_service_disp_iPtr& service);
    HRESULT create_user_core(DX_core_disp_iPtr& core);
    HRESULT create_service_core(DX_core_service_disp_iPtr& service);
    // False when the user's core runs at the other elevation level.
    bool single_instance_check();

    int mode_;
    bool com_initialized_ = false;  // our CoInitialize succeeded (S_OK or S_FALSE)
};

// The standard COM error message of hr: the system's text without its final line
// break, else "IDispatch error #n" for 0x80040201..0x8004FFFF, else
// "Unknown error 0x...".
QV_string qv_com_error_message(HRESULT hr);
