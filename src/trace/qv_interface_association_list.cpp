#include "trace/qv_interface_association_list.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace {

struct Halves {
    std::uint64_t low;
    std::uint64_t high;
};

Halves halves_of(const IID& iid)
{
    Halves h;
    static_assert(sizeof(Halves) == sizeof(IID));
    std::memcpy(&h, &iid, sizeof h);
    return h;
}

} // namespace

// Built during static initialisation, before WinMain; the trace reads it from then on.
QV_interface_association_list qv_interface_associations;

QV_interface_association_list::~QV_interface_association_list()
{
    clear();
}

bool QV_interface_association_list::add(const IID& iid, const wchar_t* name)
{
    entry* added = new (std::nothrow) entry(iid, name, first_);
    if (!added)
        return false;
    first_ = added;
    return true;
}

const wchar_t* QV_interface_association_list::name_of(const IID& iid) const
{
    Halves wanted = halves_of(iid);
    for (const entry* at = first_; at; at = at->next()) {
        Halves held = halves_of(at->iid());
        if (held.low == wanted.low && held.high == wanted.high)
            return at->name();
    }
    return nullptr;
}

void QV_interface_association_list::clear()
{
    entry* at = first_;
    first_ = nullptr;
    while (at) {
        entry* next = at->next();  // read before the entry goes
        delete at;
        at = next;
    }
}
