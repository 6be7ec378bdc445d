#pragma once
// Registry locations of the product that more than one part of the registry code names.

#include "base/qv_string.h"

// Service key of the product's file-system driver: most policy values, the cached
// policy text, the case-sensitive notification values and the reboot request.
inline constexpr const wchar_t* QV_KD_SERVICE_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvKD";
// Service key of the product's second driver.
inline constexpr const wchar_t* QV_RM_SERVICE_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvRM";
// The product's settings key (under HKEY_LOCAL_MACHINE, and per user under HKEY_USERS).
inline constexpr const wchar_t* QV_PRODUCT_SETTINGS_KEY = L"SOFTWARE\\Velmora\\Kaldisafe";

// A string's text for a "%s" argument: never null.
inline const wchar_t* qv_text_of(const QV_string& text)
{
    return text.c_str() ? text.c_str() : L"";
}
