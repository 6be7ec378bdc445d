#include "base/qv_version.h"

#include "trace/qv_trace.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// One block of the resource: header fields, key and where its value and children
// start, all as offsets within the resource.
struct Version_block {
    size_t start = 0;
    size_t end = 0;          // start + the block's own length
    size_t value_length = 0; // the header's value length
    size_t key = 0;          // offset of the key text
    size_t key_end = 0;      // offset just past the key's terminator
};

constexpr size_t HEADER_BYTES = 6;

size_t align4(size_t offset)
{
    return (offset + 3) & ~static_cast<size_t>(3);
}

class Version_reader {
public:
    Version_reader(const void* data, size_t size) : bytes_(static_cast<const BYTE*>(data)), size_(size) {}

    // The block at offset, which must lie within limit. False when its header does
    // not fit, its length is 0 or shorter than its header, it runs past limit, or
    // its key lacks a terminator inside the block.
    bool block_at(size_t offset, size_t limit, Version_block* block) const
    {
        if (limit > size_ || offset > limit || limit - offset < HEADER_BYTES)
            return false;
        size_t length = word(offset);
        if (length < HEADER_BYTES || length > limit - offset)
            return false;
        block->start = offset;
        block->end = offset + length;
        block->value_length = word(offset + 2);
        block->key = offset + HEADER_BYTES;
        block->key_end = text_end(block->key, block->end);
        return block->key_end != 0;
    }

    bool key_equals(const Version_block& block, const wchar_t* key) const
    {
        size_t count = (block.key_end - block.key) / sizeof(wchar_t);
        if (std::wcslen(key) + 1 != count)
            return false;
        return std::memcmp(bytes_ + block.key, key, count * sizeof(wchar_t)) == 0;
    }

    // The text at offset up to its terminator, which must lie before limit. An
    // offset at or past limit is an empty value. No text when unterminated.
    QV_string text_at(size_t offset, size_t limit) const
    {
        if (offset >= limit)
            return QV_string(L"");
        size_t end = text_end(offset, limit);
        if (end == 0)
            return QV_string(nullptr);
        // Copied out first: the resource need not be aligned for wide reads.
        std::vector<wchar_t> copy((end - offset) / sizeof(wchar_t));
        std::memcpy(copy.data(), bytes_ + offset, copy.size() * sizeof(wchar_t));
        return QV_string(copy.data());
    }

private:
    size_t word(size_t offset) const
    {
        return static_cast<size_t>(bytes_[offset]) | static_cast<size_t>(bytes_[offset + 1]) << 8;
    }

    // The offset just past the terminator of the text at offset, or 0 when no
    // terminator lies before limit.
    size_t text_end(size_t offset, size_t limit) const
    {
        for (size_t at = offset; at + sizeof(wchar_t) <= limit; at += sizeof(wchar_t)) {
            if (word(at) == 0)
                return at + sizeof(wchar_t);
        }
        return 0;
    }

    const BYTE* bytes_;
    size_t size_;
};

// The first string table: the root's first child must be the string file
// information, and the table is that block's first child.
bool first_string_table(const Version_reader& reader, size_t size, Version_block* table)
{
    Version_block root, info;
    if (!reader.block_at(0, size, &root))
        return false;
    size_t fixed = align4(root.key_end);
    if (fixed > root.end || root.value_length > root.end - fixed)
        return false;
    if (!reader.block_at(align4(fixed + root.value_length), root.end, &info))
        return false;
    if (!reader.key_equals(info, L"StringFileInfo"))
        return false;
    return reader.block_at(align4(info.key_end), info.end, table);
}

} // namespace

QV_string qv_find_version_value(const void* resource, size_t size, const wchar_t* key)
{
    if (!resource || !key)
        return QV_string(nullptr);
    Version_reader reader(resource, size);
    Version_block table;
    if (!first_string_table(reader, size, &table))
        return QV_string(nullptr);
    // Entries shorter than their header or of length 0 end the walk.
    Version_block entry;
    for (size_t at = align4(table.key_end); reader.block_at(at, table.end, &entry); at = align4(entry.end)) {
        if (reader.key_equals(entry, key))
            return reader.text_at(align4(entry.key_end), entry.end);
    }
    return QV_string(nullptr);
}

QV_string qv_get_version_string(HMODULE module, const wchar_t* key)
{
    qv_trace_enter(L"qv_get_version_string", 0, L"%s\n", key ? key : L"(null)");
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (!found) {
        qv_trace_failed_last_error(L"qv_get_version_string", L"FindResourceW failed\n");
        return QV_string(nullptr);
    }
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data || size == 0) {
        qv_trace_failed_last_error(L"qv_get_version_string", L"LoadResource failed\n");
        return QV_string(nullptr);
    }
    // Resources are mapped with the module and need no release.
    return qv_find_version_value(data, size, key);
}

QV_string qv_get_file_version_string(HMODULE module)
{
    return qv_get_version_string(module, L"FileVersion");
}

bool qv_parse_file_version(const wchar_t* text, int* major, int* minor, int* patch, int* build)
{
    if (!text || !major || !minor || !patch || !build)
        return false;
    return swscanf_s(text, L"%d, %d, %d, %d", major, minor, patch, build) == 4;
}
