#pragma once
// The automation interfaces of the product's core process, as both the client
// and any core built for this system see them. run_function is the first method
// after IDispatch's (slot 7): a scrambled request in, a response and a 32-bit
// result out.

#include "base/qv_unique.h"

#include <windows.h>
#include <oaidl.h>

struct DX_core_disp_i : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE run_function(BSTR request, BSTR* response, LONG* result) = 0;
};

struct DX_core_service_disp_i : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE run_function(BSTR request, BSTR* response, LONG* result) = 0;
};

using DX_core_disp_iPtr = QV_com_ptr<DX_core_disp_i>;
using DX_core_service_disp_iPtr = QV_com_ptr<DX_core_service_disp_i>;

// {CAC187BB-9181-4E16-9C57-0E0BAA98F947}: the user-mode core object.
inline constexpr CLSID DX_CLSID_CORE = {0xCAC187BB, 0x9181, 0x4E16, {0x9C, 0x57, 0x0E, 0x0B, 0xAA, 0x98, 0xF9, 0x47}};
// {2E069779-19D0-4B75-994F-D8A62A54287A}
inline constexpr IID DX_IID_CORE_DISP = {0x2E069779, 0x19D0, 0x4B75, {0x99, 0x4F, 0xD8, 0xA6, 0x2A, 0x54, 0x28, 0x7A}};
// {1A4E06FC-91E6-4594-824E-52D6BECBA9E6}: the service core object.
inline constexpr CLSID DX_CLSID_CORE_SERVICE = {0x1A4E06FC, 0x91E6, 0x4594,
                                                {0x82, 0x4E, 0x52, 0xD6, 0xBE, 0xCB, 0xA9, 0xE6}};
// {8C227AF1-3B60-45E0-A717-B940C973211C}
inline constexpr IID DX_IID_CORE_SERVICE_DISP = {0x8C227AF1, 0x3B60, 0x45E0,
                                                 {0xA7, 0x17, 0xB9, 0x40, 0xC9, 0x73, 0x21, 0x1C}};

// Serialises every exchange with the user-mode core in a session ("Local\").
inline constexpr const wchar_t* DX_CORE_SERIAL_MUTEX = L"{91C3E2A7-0D54-4B8E-A6F1-2E7B5C90D413}";
// Followed by the user's SID text (and the elevation digit): a running core's presence.
inline constexpr const wchar_t* DX_CORE_PRESENCE_PREFIX = L"{2F6B8D31-9C47-4A05-B3E8-71D0A4C6E29F}";
