#include "sim_core_object.h"

#include "qv_descramble.h"
#include "qv_sim_core.h"
#include "base/qv_unique.h"
#include "xml/qv_xml.h"

#include <new>

LONG g_sim_core_module_count = 0;

namespace {

// Thread body: 1 when the mutex could be taken (it is given straight back).
DWORD WINAPI take_and_give_back(void* mutex)
{
    if (WaitForSingleObject(mutex, 0) == WAIT_TIMEOUT)
        return 0;
    ReleaseMutex(mutex);
    return 1;
}

// True when the calling thread owns the session's serialisation mutex: another
// thread cannot take it, and this one can (again).
bool caller_owns_serial_mutex()
{
    QV_handle mutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                               (std::wstring(L"Local\\") + DX_CORE_SERIAL_MUTEX).c_str()));
    if (!mutex)
        return false;
    QV_handle probe(CreateThread(nullptr, 0, take_and_give_back, mutex.get(), 0, nullptr));
    DWORD free_elsewhere = 1;
    if (!probe || WaitForSingleObject(probe.get(), INFINITE) != WAIT_OBJECT_0
        || !GetExitCodeThread(probe.get(), &free_elsewhere) || free_elsewhere)
        return false;
    if (WaitForSingleObject(mutex.get(), 0) != WAIT_OBJECT_0)
        return false;  // held by another process or thread
    ReleaseMutex(mutex.get());  // give back the recursion just taken
    return true;
}

// The request as the program's XML model reads it.
void read_request(const std::wstring& text, QV_sim_core_call& call)
{
    QV_xml_doc_owner doc(create_xml_doc());
    if (!doc)
        return;
    QV_xml_node* function = doc->load_from_string(text.c_str()) ? doc->root()->child(0, L"function") : nullptr;
    if (function) {
        call.function = function->attribute_value(L"name");
        for (unsigned i = 0; QV_xml_node* parameter = function->child(i, L"parameter"); ++i)
            call.parameters.push_back(std::wstring(parameter->attribute_value(L"name")) + L"=" + parameter->text());
    }
}

void set_error_description(const std::wstring& description)
{
    QV_com_ptr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put())))
        return;
    create->SetDescription(const_cast<wchar_t*>(description.c_str()));
    QV_com_ptr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void())))
        SetErrorInfo(0, info.get());
}

template <typename Dispatch>
class Sim_core final : public Sim_counted<Dispatch, ISupportErrorInfo> {
public:
    explicit Sim_core(const IID& iid) : iid_(iid) { InterlockedIncrement(&g_sim_core_module_count); }
    ~Sim_core() override { InterlockedDecrement(&g_sim_core_module_count); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_)
            *out = static_cast<Dispatch*>(this);
        else if (riid == IID_ISupportErrorInfo)
            *out = static_cast<ISupportErrorInfo*>(this);
        else
            return E_NOINTERFACE;
        this->AddRef();
        return S_OK;
    }

    // No type information: the core is reached through run_function alone.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return riid == iid_ ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE run_function(BSTR request, BSTR* response, LONG* result) override
    {
        if (!response || !result)
            return E_POINTER;
        QV_sim_core_call call;
        if (!request || !qv_descramble_request_text(request, &call.request))
            return E_INVALIDARG;
        call.object_class = iid_ == DX_IID_CORE_DISP ? L"user" : L"service";
        call.process_id = GetCurrentProcessId();
        call.serial_mutex_owned = caller_owns_serial_mutex();
        read_request(call.request, call);
        qv_sim_core_record(call);
        return answer(response, result);
    }

private:
    static HRESULT answer(BSTR* response, LONG* result)
    {
        QV_sim_core_answer answer = qv_sim_core_answer();
        *response = SysAllocString(L"<response/>");
        if (FAILED(answer.hr)) {
            if (!answer.error_description.empty())
                set_error_description(answer.error_description);
            return answer.hr;
        }
        *result = answer.result;
        return answer.hr;
    }

    IID iid_;
};

} // namespace

IUnknown* sim_core_create_object(const IID& dispatch_iid)
{
    if (dispatch_iid == DX_IID_CORE_DISP)
        return static_cast<DX_core_disp_i*>(new (std::nothrow) Sim_core<DX_core_disp_i>(dispatch_iid));
    return static_cast<DX_core_service_disp_i*>(new (std::nothrow) Sim_core<DX_core_service_disp_i>(dispatch_iid));
}
