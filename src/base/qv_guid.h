#pragma once
// A GUID together with its registry-form text,
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hexadecimal.

#include <windows.h>

class QV_guid : public GUID {
public:
    explicit QV_guid(const GUID& value);
    virtual ~QV_guid();

    // 38 characters and a terminator; valid as long as the object.
    const wchar_t* text() const { return wide_; }

private:
    wchar_t wide_[39];
    char narrow_[39];
};
