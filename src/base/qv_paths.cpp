#include "base/qv_paths.h"

#include "trace/qv_trace.h"

#include <cstring>

QV_paths::QV_paths(const QV_paths& other) : std::list<QV_path>(other) {}

QV_paths::~QV_paths() = default;

QV_paths& QV_paths::operator=(const QV_paths& other)
{
    if (this != &other)
        std::list<QV_path>::operator=(other);
    return *this;
}

void QV_paths::add(const QV_string& text)
{
    push_back(QV_path(text.c_str()));
}

const wchar_t* QV_paths::file_list()
{
    qv_trace_enter(L"QV_paths::file_list", 0);
    size_t count = 1;
    for (const QV_path& path : *this)
        count += path.length() + 1;
    wchar_t* list = static_cast<wchar_t*>(fill_slot(file_list_slot, count * sizeof(wchar_t)));
    wchar_t* at = list;
    for (const QV_path& path : *this) {
        size_t length = path.length();
        if (length)
            std::memcpy(at, path.c_str(), length * sizeof(wchar_t));
        at += length + 1;  // the NUL is already there: the block is zero-filled
    }
    return list;
}

void* QV_paths::fill_slot(slot_id slot, size_t bytes)
{
    if (slot < file_list_slot || slot > idlist_array_slot)
        return nullptr;
    unsigned char* fresh = nullptr;
    if (bytes) {
        fresh = static_cast<unsigned char*>(qv_string_heap.allocate(bytes));
        std::memset(fresh, 0, bytes);
    }
    slot_block& block = slots_[slot];
    block.data.reset(fresh);
    block.bytes = bytes;
    return fresh;
}

void QV_paths::heap_release::operator()(unsigned char* block) const
{
    qv_string_heap.release(block);
}

const void* QV_paths::slot_data(slot_id slot) const
{
    if (slot < file_list_slot || slot > idlist_array_slot)
        return nullptr;
    return slots_[slot].data.get();
}

size_t QV_paths::slot_size(slot_id slot) const
{
    if (slot < file_list_slot || slot > idlist_array_slot)
        return 0;
    return slots_[slot].bytes;
}
