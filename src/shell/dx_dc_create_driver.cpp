#include "shell/dx_driver_com.h"

HRESULT dx_dc_create_driver(QV_driver_com& driver)
{
    return CoCreateInstance(CLSID_DxDriverCom, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDriverCom, driver.put_void());
}
