#include "shell/dx_driver_com.h"

#include "base/qv_os_process.h"

HRESULT dx_dc_create_driver(QV_driver_com& driver)
{
    return qv_create_instance(CLSID_DxDriverCom, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDriverCom, driver.put_void());
}

HRESULT dx_driver_set_flag_level(IDxDriverCom* driver, LONG flag, BYTE level)
{
    return qv_component_call([&] { return driver->set_flag_level(flag, level); });
}

HRESULT dx_driver_begin_trace_to_file(IDxDriverCom* driver, const wchar_t* path)
{
    return qv_component_call([&] { return driver->begin_trace_to_file(path); });
}

HRESULT dx_driver_end_trace_to_file(IDxDriverCom* driver)
{
    return qv_component_call([&] { return driver->end_trace_to_file(); });
}

HRESULT dx_driver_copy_special_info(IDxDriverCom* driver, const wchar_t* source, const wchar_t* destination, LONG flag)
{
    return qv_component_call([&] { return driver->copy_special_info(source, destination, flag); });
}

HRESULT dx_driver_exempt_current_process(IDxDriverCom* driver)
{
    return qv_component_call([&] { return driver->exempt_current_process(); });
}

HRESULT dx_driver_unexempt_current_process(IDxDriverCom* driver)
{
    return qv_component_call([&] { return driver->unexempt_current_process(); });
}
