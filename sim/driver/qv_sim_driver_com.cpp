// The driver communication component as far as the shell's callers need it: each
// call is journaled, the listed methods act on the shared state, every other
// position answers E_NOTIMPL.

#include "qv_sim_driver_com.h"
#include "qv_sim_driver_store.h"
#include "qv_sim_unknown.h"

#include "shell/dx_driver_com.h"

#include <cwchar>
#include <string>

namespace {

std::wstring text(const wchar_t* value)
{
    return value ? value : L"(null)";
}

// A list argument as the driver reads it: up to the two terminators that end it,
// each terminator written as "\0". The driver looks at no more than LIST_LIMIT
// characters.
constexpr size_t LIST_LIMIT = 1024;

std::wstring list_text(const wchar_t* value)
{
    if (!value)
        return L"(null)";
    std::wstring list;
    for (size_t i = 0; i < LIST_LIMIT; ++i) {
        if (value[i] != L'\0') {
            list += value[i];
            continue;
        }
        list += L"\\0";
        if (i > 0 && value[i - 1] == L'\0')
            break;
    }
    return list;
}

class Sim_driver_com final : public Sim_unknown<IDxDriverCom, &IID_IDxDriverCom> {
public:
    explicit Sim_driver_com(const Sim_driver_answers& answers) : answers_(answers) { sim_driver_lock(true); }
    ~Sim_driver_com() override { sim_driver_lock(false); }

    HRESULT STDMETHODCALLTYPE query_device_guid(const wchar_t* argument, wchar_t** guid) override
    {
        store_.record(L"query_device_guid", {text(argument)});
        if (answers_.all_fail || !guid)
            return E_FAIL;
        if (SUCCEEDED(answers_.guid_result) && answers_.guid_text != L"(none)")
            *guid = _wcsdup(answers_.guid_text.c_str());
        return answers_.guid_result;
    }
    HRESULT STDMETHODCALLTYPE release_string(wchar_t* value) override
    {
        store_.record(L"release_string", {text(value)});
        free(value);
        return answers_.all_fail ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE set_flag_level(LONG flag, BYTE level) override
    {
        store_.record(L"set_flag_level", {std::to_wstring(flag), std::to_wstring(level)});
        if (answers_.all_fail)
            return E_FAIL;
        return store_.set_level(flag, level) ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE begin_trace_to_file(const wchar_t* path) override
    {
        store_.record(L"begin_trace_to_file", {text(path)});
        if (answers_.all_fail || !path)
            return E_FAIL;
        store_.begin_trace(path);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE end_trace_to_file() override
    {
        store_.record(L"end_trace_to_file", {});
        if (answers_.all_fail)
            return E_FAIL;
        store_.end_trace();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE copy_special_info(const wchar_t* source, const wchar_t* destination, LONG flag) override
    {
        store_.record(L"copy_special_info", {text(source), text(destination), std::to_wstring(flag)});
        if (answers_.all_fail || !source || !destination)
            return E_FAIL;
        std::wstring from = std::wstring(source) + QV_SIM_DRIVER_SIDECAR;
        if (GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES)
            return static_cast<HRESULT>(answers_.copy_result);
        std::wstring to = std::wstring(destination) + QV_SIM_DRIVER_SIDECAR;
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
            return static_cast<HRESULT>(GetLastError() ? GetLastError() : 1);
        return static_cast<HRESULT>(answers_.copy_result);
    }
    HRESULT STDMETHODCALLTYPE exempt_current_process() override { return exempt(true); }
    HRESULT STDMETHODCALLTYPE unexempt_current_process() override { return exempt(false); }
    HRESULT STDMETHODCALLTYPE is_attached(const wchar_t* argument, ULONG* status) override
    {
        store_.record(L"is_attached", {list_text(argument)});
        if (answers_.all_fail || !status)
            return E_FAIL;
        if (SUCCEEDED(answers_.is_attached_result) && !answers_.is_attached_untouched)
            *status = answers_.is_attached_status;
        return answers_.is_attached_result;
    }

#define SIM_NOT_KNOWN(position) \
    HRESULT STDMETHODCALLTYPE reserved_##position() override { return not_known(position); }
    SIM_NOT_KNOWN(5) SIM_NOT_KNOWN(6) SIM_NOT_KNOWN(7) SIM_NOT_KNOWN(8) SIM_NOT_KNOWN(9)
    SIM_NOT_KNOWN(10) SIM_NOT_KNOWN(11) SIM_NOT_KNOWN(12) SIM_NOT_KNOWN(13) SIM_NOT_KNOWN(14)
    SIM_NOT_KNOWN(15) SIM_NOT_KNOWN(16) SIM_NOT_KNOWN(17) SIM_NOT_KNOWN(18) SIM_NOT_KNOWN(22)
    SIM_NOT_KNOWN(23) SIM_NOT_KNOWN(24) SIM_NOT_KNOWN(25) SIM_NOT_KNOWN(27) SIM_NOT_KNOWN(28)
    SIM_NOT_KNOWN(31) SIM_NOT_KNOWN(32) SIM_NOT_KNOWN(33)
#undef SIM_NOT_KNOWN

private:
    HRESULT exempt(bool on)
    {
        store_.record(on ? L"exempt_current_process" : L"unexempt_current_process", {});
        if (answers_.all_fail)
            return E_FAIL;
        store_.set_exempt(on);
        return S_OK;
    }
    HRESULT not_known(int position)
    {
        store_.record(L"reserved", {std::to_wstring(position)});
        return E_NOTIMPL;
    }

    Sim_driver_answers answers_;
    Sim_driver_store store_;
};

} // namespace

HRESULT sim_driver_create(REFIID iid, void** out)
{
    Sim_driver_answers answers = sim_driver_read_answers();
    if (FAILED(answers.create_result))
        return answers.create_result;
    Sim_driver_com* driver = new (std::nothrow) Sim_driver_com(answers);
    if (!driver)
        return E_OUTOFMEMORY;
    HRESULT result = driver->QueryInterface(iid, out);
    driver->Release();
    return result;
}
