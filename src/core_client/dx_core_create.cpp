// Creating the core object, with the single-instance check and the
// serialisation lock of user mode.
#include "core_client/dx_core_com.h"

#include "base/qv_os_process.h"

#include "trace/qv_trace.h"

#include <objbase.h>

#include <new>

namespace {

constexpr const wchar_t* CREATE = L"DX_core_com::create";
// In-process server and handler, local and remote server.
constexpr DWORD CORE_CONTEXT = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER
                               | CLSCTX_REMOTE_SERVER;

// Creates, runs and asks the object for iid; *out stays empty on any failure.
HRESULT create_running(const CLSID& clsid, const IID& iid, void** out)
{
    QV_com_ptr<IUnknown> object;
    HRESULT hr = qv_create_instance(clsid, nullptr, CORE_CONTEXT, IID_IUnknown, object.put_void());
    if (SUCCEEDED(hr))
        hr = OleRun(object.get());
    if (SUCCEEDED(hr))
        hr = object->QueryInterface(iid, out);
    return hr;
}

// True when the mutex could be taken at once; it is given back straight away.
bool presence_mutex_free(const QV_string& name)
{
    QV_mutex mutex(name.c_str(), false, false);
    if (!mutex.wait(0, nullptr))
        return false;  // held by a running core, or abandoned by a dead one
    mutex.release();
    return true;
}

} // namespace

HRESULT DX_core_com::create(DX_core_disp_iPtr& core, DX_core_service_disp_iPtr& service,
                            QV_held_mutex& mutex_out)
{
    qv_trace_enter(CREATE, 0);
    if (mode_) {
        mutex_out.reset();
        return create_service_core(service);
    }
    // The names and the lock are all this creation allocates of its own; without
    // them nothing is created and no lock is held.
    try {
        if (!single_instance_check()) {
            mutex_out.reset();
            return CO_E_SERVER_EXEC_FAILURE;
        }
        mutex_out.reset(new QV_mutex(DX_CORE_SERIAL_MUTEX, false, true));
    } catch (const std::bad_alloc&) {
        mutex_out.reset();
        return E_OUTOFMEMORY;
    }
    return create_user_core(core);
}

bool DX_core_com::single_instance_check()
{
    QV_string with_elevation, without_elevation;
    if (!get_mutex_name_strings(&with_elevation, &without_elevation))
        return true;  // traced; creation goes on
    if (!presence_mutex_free(with_elevation))
        return true;  // this user's core runs at this elevation: COM connects to it
    if (!presence_mutex_free(without_elevation)) {
        qv_trace_printf(CREATE, L"User already has VlmKdCore and DxCoreCom would try to create another one. "
                                L"FAILING DxCoreCom call!!\n");
        return false;
    }
    qv_trace_printf(CREATE, L"User has no VlmKdCore - allowing DxCoreCom to create one.\n");
    return true;
}

HRESULT DX_core_com::create_user_core(DX_core_disp_iPtr& core)
{
    core.reset();
    HRESULT hr = create_running(DX_CLSID_CORE, DX_IID_CORE_DISP, core.put_void());
    if (hr != S_OK)
        qv_trace_failed_hresult(CREATE, hr, L"Error in CreateInstance:\n");
    return hr;
}

HRESULT DX_core_com::create_service_core(DX_core_service_disp_iPtr& service)
{
    service.reset();
    return create_running(DX_CLSID_CORE_SERVICE, DX_IID_CORE_SERVICE_DISP, service.put_void());
}
