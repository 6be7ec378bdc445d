#pragma once
// The storage of one document's nodes, attributes and texts: a private heap
// (HeapCreate) under free lists of small blocks carved from large pieces, so that
// a parse does not pay the system heap's price for each name, value and text.
// Every block freed is reused, and once no block is in use (a tree destroyed
// whole) the next tree is carved from the kept pieces again, in order, on pages
// that are already there; trim gives the pieces back when no block is in use,
// and the heap is destroyed with its last holder (the document, and each node
// made on it, which may outlive the document once detached).
//
// A heap serves one thread at a time, like the tree it holds. A null heap stands
// for the C runtime's (malloc and free), used by nodes made outside a document.

#include <windows.h>

#include <cstddef>

class QVXML_heap {
public:
    // A heap with one holder; null when it cannot be made.
    static QVXML_heap* create();

    void hold() { ++holders_; }
    // The last holder's drop destroys the heap.
    void drop();

    // Null when the block cannot be allocated. bytes is given back on free.
    void* allocate(size_t bytes);
    void free(void* block, size_t bytes);
    void* reallocate(void* block, size_t old_bytes, size_t new_bytes);
    // Gives the pieces back to the heap when no small block is in use.
    void trim();

    QVXML_heap(const QVXML_heap&) = delete;
    QVXML_heap& operator=(const QVXML_heap&) = delete;

private:
    static constexpr size_t GRAIN = 16;
    static constexpr size_t LARGEST_SMALL = 4096;
    static constexpr size_t CLASSES = LARGEST_SMALL / GRAIN;

    explicit QVXML_heap(HANDLE heap) : heap_(heap) {}
    ~QVXML_heap();
    void* carve(size_t bytes);
    void rewind();

    struct Free_block {
        Free_block* next;
    };
    struct Piece {
        Piece* next;
    };

    HANDLE heap_;
    size_t holders_ = 1;
    size_t small_in_use_ = 0;
    Free_block* free_[CLASSES] = {};
    Piece* pieces_ = nullptr;
    Piece* next_piece_ = nullptr;  // the kept pieces not yet carved since the last rewind
    char* cursor_ = nullptr;
    char* end_ = nullptr;
};

// The heap's block, or the C runtime's for a null heap.
void* qvxml_allocate(QVXML_heap* heap, size_t bytes);
void qvxml_free(QVXML_heap* heap, void* block, size_t bytes);
void* qvxml_reallocate(QVXML_heap* heap, void* block, size_t old_bytes, size_t new_bytes);
void qvxml_hold(QVXML_heap* heap);
void qvxml_drop(QVXML_heap* heap);
