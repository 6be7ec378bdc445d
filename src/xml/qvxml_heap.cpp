#include "xml/qvxml_heap.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t PIECE_BYTES = 64 * 1024;

// The free list of a small block: sizes 1 to 16 share list 0, 17 to 32 list 1, ...
size_t class_of(size_t bytes, size_t grain)
{
    return bytes ? (bytes - 1) / grain : 0;
}

} // namespace

QVXML_heap* QVXML_heap::create()
{
    HANDLE heap = HeapCreate(0, 0, 0);
    if (!heap)
        return nullptr;
    void* block = HeapAlloc(heap, 0, sizeof(QVXML_heap));
    if (!block) {
        HeapDestroy(heap);
        return nullptr;
    }
    return new (block) QVXML_heap(heap);
}

QVXML_heap::~QVXML_heap() = default;

void QVXML_heap::drop()
{
    if (--holders_)
        return;
    HANDLE heap = heap_;
    this->~QVXML_heap();
    HeapDestroy(heap);  // the pieces, the large blocks and this object with them
}

void* QVXML_heap::allocate(size_t bytes)
{
    if (bytes > LARGEST_SMALL)
        return HeapAlloc(heap_, 0, bytes);
    size_t index = class_of(bytes, GRAIN);
    void* block = free_[index];
    if (block)
        free_[index] = free_[index]->next;
    else
        block = carve((index + 1) * GRAIN);
    if (block)
        ++small_in_use_;
    return block;
}

// A new block from the current piece, or from the next one when it is used up:
// a piece kept from an earlier tree, else a new one.
void* QVXML_heap::carve(size_t bytes)
{
    if (static_cast<size_t>(end_ - cursor_) < bytes) {
        Piece* piece = next_piece_;
        if (piece) {
            next_piece_ = piece->next;
        } else {
            piece = static_cast<Piece*>(HeapAlloc(heap_, 0, PIECE_BYTES));
            if (!piece)
                return nullptr;
            piece->next = pieces_;
            pieces_ = piece;
        }
        cursor_ = reinterpret_cast<char*>(piece) + GRAIN;
        end_ = reinterpret_cast<char*>(piece) + PIECE_BYTES;
    }
    void* block = cursor_;
    cursor_ += bytes;
    return block;
}

void QVXML_heap::free(void* block, size_t bytes)
{
    if (!block)
        return;
    if (bytes > LARGEST_SMALL) {
        HeapFree(heap_, 0, block);
        return;
    }
    size_t index = class_of(bytes, GRAIN);
    auto* entry = static_cast<Free_block*>(block);
    entry->next = free_[index];
    free_[index] = entry;
    if (--small_in_use_ == 0)
        rewind();
}

// Nothing small is in use (a tree was destroyed whole): the next tree is carved
// from the kept pieces in order again, its blocks side by side as it is read.
void QVXML_heap::rewind()
{
    std::memset(free_, 0, sizeof(free_));
    next_piece_ = pieces_;
    cursor_ = end_ = nullptr;
}

void QVXML_heap::trim()
{
    if (small_in_use_)
        return;
    while (Piece* piece = pieces_) {
        pieces_ = piece->next;
        HeapFree(heap_, 0, piece);
    }
    rewind();
}

void* QVXML_heap::reallocate(void* block, size_t old_bytes, size_t new_bytes)
{
    if (old_bytes > LARGEST_SMALL && new_bytes > LARGEST_SMALL)
        return HeapReAlloc(heap_, 0, block, new_bytes);
    void* fresh = allocate(new_bytes);
    if (!fresh)
        return nullptr;
    std::memcpy(fresh, block, old_bytes < new_bytes ? old_bytes : new_bytes);
    free(block, old_bytes);
    return fresh;
}

void* qvxml_allocate(QVXML_heap* heap, size_t bytes)
{
    return heap ? heap->allocate(bytes) : std::malloc(bytes);
}

void qvxml_free(QVXML_heap* heap, void* block, size_t bytes)
{
    if (heap)
        heap->free(block, bytes);
    else
        std::free(block);
}

void* qvxml_reallocate(QVXML_heap* heap, void* block, size_t old_bytes, size_t new_bytes)
{
    return heap ? heap->reallocate(block, old_bytes, new_bytes) : std::realloc(block, new_bytes);
}

void qvxml_hold(QVXML_heap* heap)
{
    if (heap)
        heap->hold();
}

void qvxml_drop(QVXML_heap* heap)
{
    if (heap)
        heap->drop();
}
