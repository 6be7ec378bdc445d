#pragma once
// The attributes of the element being parsed, by name with the case of ASCII
// letters ignored, so that a name met again (which replaces the earlier value)
// is found without walking the list: a parse stays linear in its input.

#include "xml/qvxml_node.h"

#include <cstdint>
#include <vector>

class QVXML_attrib_index {
public:
    // Forgets the previous element: node's attributes are indexed from now on.
    void start(QVXML_node* node);
    // Sets the attribute as set_attribute does; false when a new one cannot be made.
    bool set(const wchar_t* name, size_t name_length, const wchar_t* value, size_t value_length);

private:
    struct Slot {
        QVXML_attrib* attrib;
        uint32_t hash;
    };
    QVXML_attrib* find(const wchar_t* name, size_t length, uint32_t hash) const;
    void insert(QVXML_attrib* attrib, uint32_t hash);
    bool rebuild(size_t slot_count);

    QVXML_node* node_ = nullptr;
    QVXML_attrib* last_ = nullptr;
    size_t count_ = 0;
    // Open addressing, a power of two in size; empty while the element has few
    // attributes (walking a short list is cheaper) or when it cannot be allocated.
    std::vector<Slot> slots_;
};
