#pragma once
// Shell item ID lists: a run of items, each starting with its own 16-bit byte
// count, closed by a count of 0. Lists made here come from the shell's task
// allocator (CoTaskMemAlloc), so the shell and CoTaskMemFree may release them.

#include <windows.h>
#include <shtypes.h>

#include <cstddef>

// Sum of the item counts, without the two-byte terminator; 0 for a null list.
// The list must be terminated: nothing here can detect a list that is not.
unsigned qv_idlist_size(LPCITEMIDLIST list);

// A fresh copy of the items followed by the two zero bytes, released with
// CoTaskMemFree. Null for a null list or when the allocator fails.
LPITEMIDLIST qv_clone_idlist(LPCITEMIDLIST list);

// Owns one ID list from the task allocator; movable, not copyable.
class QV_idlist {
public:
    QV_idlist() = default;
    explicit QV_idlist(LPITEMIDLIST list) : list_(list) {}
    QV_idlist(const QV_idlist&) = delete;
    QV_idlist& operator=(const QV_idlist&) = delete;
    QV_idlist(QV_idlist&& other) noexcept : list_(other.release()) {}
    QV_idlist& operator=(QV_idlist&& other) noexcept;
    ~QV_idlist() { reset(); }

    LPCITEMIDLIST get() const { return list_; }
    explicit operator bool() const { return list_ != nullptr; }
    // Gives up ownership; the caller frees the list with CoTaskMemFree.
    LPITEMIDLIST release();
    void reset(LPITEMIDLIST list = nullptr);
    // A new owner of a clone of this list (empty when this one is).
    QV_idlist clone() const { return QV_idlist(qv_clone_idlist(list_)); }

private:
    LPITEMIDLIST list_ = nullptr;
};
