#include "com/qv_interface_names.h"

#include <cstring>

const QV_interface_name* qv_interface_names_head = nullptr;

const wchar_t* qv_interface_name_of(const IID& iid)
{
    for (const QV_interface_name* entry = qv_interface_names_head; entry; entry = entry->next) {
        if (std::memcmp(&entry->iid, &iid, sizeof(IID)) == 0)
            return entry->name;
    }
    return nullptr;
}
