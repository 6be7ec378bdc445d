#include "base/qv_security.h"

#include <new>

SECURITY_ATTRIBUTES* qv_create_open_security_attributes()
{
    auto* attributes = new (std::nothrow) SECURITY_ATTRIBUTES{};
    if (!attributes)
        return nullptr;
    auto* descriptor = new (std::nothrow) BYTE[SECURITY_DESCRIPTOR_MIN_LENGTH]{};
    attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
    attributes->bInheritHandle = TRUE;
    attributes->lpSecurityDescriptor = descriptor;
    if (!descriptor || !InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION)
        || !SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE)) {
        qv_free_security_attributes(attributes);
        return nullptr;
    }
    return attributes;
}

void qv_free_security_attributes(SECURITY_ATTRIBUTES* attributes)
{
    if (!attributes)
        return;
    delete[] static_cast<BYTE*>(attributes->lpSecurityDescriptor);
    delete attributes;
}

QV_string qv_make_object_name(const wchar_t* name, bool global)
{
    if (!name)
        return QV_string(nullptr);
    return QV_string(global ? L"Global\\" : L"Local\\") + name;
}
