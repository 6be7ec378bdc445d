#include "base/qv_idlist.h"

#include <objbase.h>

#include <cstring>

unsigned qv_idlist_size(LPCITEMIDLIST list)
{
    if (!list)
        return 0;
    const BYTE* item = reinterpret_cast<const BYTE*>(list);
    unsigned total = 0;
    for (;;) {
        USHORT count = 0;
        std::memcpy(&count, item, sizeof(count));  // items need not be aligned
        if (count == 0)
            return total;
        total += count;
        item += count;
    }
}

LPITEMIDLIST qv_clone_idlist(LPCITEMIDLIST list)
{
    if (!list)
        return nullptr;
    unsigned size = qv_idlist_size(list);
    BYTE* copy = static_cast<BYTE*>(CoTaskMemAlloc(size + 2));
    if (!copy)
        return nullptr;
    std::memcpy(copy, list, size);
    copy[size] = 0;
    copy[size + 1] = 0;
    return reinterpret_cast<LPITEMIDLIST>(copy);
}

QV_idlist& QV_idlist::operator=(QV_idlist&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

LPITEMIDLIST QV_idlist::release()
{
    LPITEMIDLIST list = list_;
    list_ = nullptr;
    return list;
}

void QV_idlist::reset(LPITEMIDLIST list)
{
    if (list_ && list_ != list)
        CoTaskMemFree(list_);
    list_ = list;
}
