#pragma once
// An insertion-ordered list of paths, iterated like std::list, carrying the
// file names of a drag, copy or attachment operation. It also owns the payload
// blocks built from it (the double-NUL file list, the ID-list array), so they
// live exactly as long as the list and are freed with it.

#include "base/qv_path.h"

#include <cstddef>
#include <list>
#include <memory>

class QV_paths : public std::list<QV_path> {
public:
    // The owned buffer slots, in order. Nothing in this program fills the
    // reserved one; it is owned and released like the others.
    enum slot_id : int { file_list_slot = 0, reserved_slot = 1, idlist_array_slot = 2 };

    QV_paths() = default;
    // Copies the elements; the copy's slots start empty.
    QV_paths(const QV_paths& other);
    virtual ~QV_paths();
    // Replaces the elements by copies of the other's; the slots stay as they are.
    QV_paths& operator=(const QV_paths& other);

    // Appends a copy of text as a new path at the end.
    void add(const QV_string& text);

    // Every path in list order, each followed by a NUL, then one more NUL (a
    // lone NUL for an empty list). The text is kept in the file-list slot,
    // replacing the one built before, and stays owned by the list.
    const wchar_t* file_list();

    // Frees the slot's previous block and keeps a new zero-filled one of the
    // given size; returns it for the caller to fill. Zero bytes empties the slot
    // and gives null. Throws std::bad_alloc, the slot unchanged, when the block
    // cannot be had.
    void* fill_slot(slot_id slot, size_t bytes);
    void free_slot(slot_id slot) { fill_slot(slot, 0); }
    // The slot's block (null when empty) and its size in bytes.
    const void* slot_data(slot_id slot) const;
    size_t slot_size(slot_id slot) const;

private:
    // Slot blocks come from the strings' heap (qv_string_heap), like the paths' own text.
    struct heap_release {
        void operator()(unsigned char* block) const;
    };
    struct slot_block {
        std::unique_ptr<unsigned char[], heap_release> data;
        size_t bytes = 0;
    };
    slot_block slots_[3];
};
