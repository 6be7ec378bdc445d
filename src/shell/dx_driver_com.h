#pragma once
// The driver communication component: an in-process COM server of the product
// that relays commands to the file-system driver. The program creates one
// instance per operation, calls one method and releases it.

#include "base/qv_unique.h"

#include <objbase.h>

// {ED879E56-2DB1-417E-A2BD-4EC21760E596}
inline constexpr CLSID CLSID_DxDriverCom = {0xED879E56, 0x2DB1, 0x417E,
                                            {0xA2, 0xBD, 0x4E, 0xC2, 0x17, 0x60, 0xE5, 0x96}};
// {A6570F6A-FAFF-4D91-9D1B-997FAF2D421D}
inline constexpr IID IID_IDxDriverCom = {0xA6570F6A, 0xFAFF, 0x4D91,
                                         {0x9D, 0x1B, 0x99, 0x7F, 0xAF, 0x2D, 0x42, 0x1D}};

// The vtable layout is the component's: every position stands, also those this
// program never calls (declared here as reserved_<position>).
struct IDxDriverCom : public IUnknown {
    // 3: the device GUID text for argument; the string stays the component's
    // and goes back through release_string.
    virtual HRESULT STDMETHODCALLTYPE query_device_guid(const wchar_t* argument, wchar_t** guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE release_string(wchar_t* text) = 0;  // 4
    virtual HRESULT STDMETHODCALLTYPE reserved_5() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_6() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_7() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_8() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_9() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_10() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_11() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_12() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_13() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_14() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_15() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_16() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_17() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_18() = 0;
    // 19: flag is the row of the trace flag table, level 0 (OFF) to 8 (ON).
    virtual HRESULT STDMETHODCALLTYPE set_flag_level(LONG flag, BYTE level) = 0;
    virtual HRESULT STDMETHODCALLTYPE begin_trace_to_file(const wchar_t* path) = 0;  // 20
    virtual HRESULT STDMETHODCALLTYPE end_trace_to_file() = 0;                       // 21
    virtual HRESULT STDMETHODCALLTYPE reserved_22() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_23() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_24() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_25() = 0;
    // 26: carries the driver's per-file data over; 0 is success, anything else failure.
    virtual HRESULT STDMETHODCALLTYPE copy_special_info(const wchar_t* source, const wchar_t* destination,
                                                        LONG flag) = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_27() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_28() = 0;
    virtual HRESULT STDMETHODCALLTYPE exempt_current_process() = 0;    // 29
    virtual HRESULT STDMETHODCALLTYPE unexempt_current_process() = 0;  // 30
    virtual HRESULT STDMETHODCALLTYPE reserved_31() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_32() = 0;
    virtual HRESULT STDMETHODCALLTYPE reserved_33() = 0;
    // 34: argument ends in two zero terminators; status is written on success only
    // when the driver has one to give.
    virtual HRESULT STDMETHODCALLTYPE is_attached(const wchar_t* argument, ULONG* status) = 0;
};

using QV_driver_com = QV_com_ptr<IDxDriverCom>;

// A new instance of the component in the caller's apartment. On failure the
// HRESULT of the creation, and driver stays empty.
HRESULT dx_dc_create_driver(QV_driver_com& driver);

// The methods that change the driver's state, through the layer's probe
// (base/qv_os_process.h): a test can fail each. Same arguments and result as
// the method.
HRESULT dx_driver_set_flag_level(IDxDriverCom* driver, LONG flag, BYTE level);
HRESULT dx_driver_begin_trace_to_file(IDxDriverCom* driver, const wchar_t* path);
HRESULT dx_driver_end_trace_to_file(IDxDriverCom* driver);
HRESULT dx_driver_copy_special_info(IDxDriverCom* driver, const wchar_t* source, const wchar_t* destination, LONG flag);
HRESULT dx_driver_exempt_current_process(IDxDriverCom* driver);
HRESULT dx_driver_unexempt_current_process(IDxDriverCom* driver);
