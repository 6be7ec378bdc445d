#include "xml/qvxml_attrib_index.h"

#include <new>

namespace {

// Below this many attributes the list is walked.
constexpr size_t FIRST_INDEXED = 16;

uint32_t folded_hash(const wchar_t* name, size_t length)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = name[i];
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c + (L'a' - L'A'));
        hash = (hash ^ static_cast<uint32_t>(c)) * 16777619u;
    }
    return hash;
}

} // namespace

void QVXML_attrib_index::start(QVXML_node* node)
{
    node_ = node;
    last_ = nullptr;
    count_ = 0;
    for (const QVXML_attrib* a = node->first_attribute(); a; a = a->next_) {
        last_ = const_cast<QVXML_attrib*>(a);
        ++count_;
    }
    slots_.clear();
    if (count_ >= FIRST_INDEXED)
        rebuild(count_ * 4);
}

QVXML_attrib* QVXML_attrib_index::find(const wchar_t* name, size_t length, uint32_t hash) const
{
    if (slots_.empty()) {
        for (const QVXML_attrib* a = node_->first_attribute(); a; a = a->next_) {
            if (qvxml_equals_no_case(a->name(), name, length))
                return const_cast<QVXML_attrib*>(a);
        }
        return nullptr;
    }
    size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask; slots_[i].attrib; i = (i + 1) & mask) {
        if (slots_[i].hash == hash && qvxml_equals_no_case(slots_[i].attrib->name(), name, length))
            return slots_[i].attrib;
    }
    return nullptr;
}

void QVXML_attrib_index::insert(QVXML_attrib* attrib, uint32_t hash)
{
    size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].attrib)
        i = (i + 1) & mask;
    slots_[i] = {attrib, hash};
}

// A table of at least slot_count slots holding every attribute of the node; on
// allocation failure the index goes back to walking the list.
bool QVXML_attrib_index::rebuild(size_t slot_count)
{
    size_t size = 64;
    while (size < slot_count)
        size *= 2;
    try {
        slots_.assign(size, Slot{nullptr, 0});
    } catch (const std::bad_alloc&) {
        slots_ = std::vector<Slot>();
        return false;
    }
    for (const QVXML_attrib* a = node_->first_attribute(); a; a = a->next_)
        insert(const_cast<QVXML_attrib*>(a), folded_hash(a->name(), a->name_.length()));
    return true;
}

bool QVXML_attrib_index::set(const wchar_t* name, size_t name_length, const wchar_t* value, size_t value_length)
{
    uint32_t hash = folded_hash(name, name_length);
    if (QVXML_attrib* found = find(name, name_length, hash)) {
        found->value_.assign(value, value_length);
        return true;
    }
    QVXML_attrib* fresh = node_->append_attribute(last_, name, name_length, value, value_length);
    if (!fresh)
        return false;
    last_ = fresh;
    ++count_;
    if (!slots_.empty() && count_ * 2 <= slots_.size())
        insert(fresh, hash);
    else if (count_ >= FIRST_INDEXED)
        rebuild(count_ * 4);
    return true;
}
