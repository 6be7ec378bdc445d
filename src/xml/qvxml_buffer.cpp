#include "xml/qvxml_buffer.h"

#include "xml/qvxml_heap.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>
#include <utility>

namespace {

size_t bytes_for(size_t capacity)
{
    return (capacity + 1) * sizeof(wchar_t);
}

wchar_t* allocate(int32_t capacity, QVXML_heap* heap)
{
    auto* data = static_cast<wchar_t*>(qvxml_allocate(heap, bytes_for(static_cast<size_t>(capacity))));
    if (!data)
        throw std::bad_alloc();
    data[0] = L'\0';
    return data;
}

wchar_t fold(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

} // namespace

int qvxml_compare_no_case(const wchar_t* a, const wchar_t* b)
{
    a = a ? a : L"";
    b = b ? b : L"";
    for (;; ++a, ++b) {
        wchar_t x = fold(*a), y = fold(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            return 0;
    }
}

bool qvxml_is_space(wchar_t c)
{
    if (c < 0x80)
        return c == L' ' || (c >= L'\t' && c <= L'\r');
    return std::iswspace(c) != 0;
}

QVXML_buffer::QVXML_buffer(int32_t grow_step, QVXML_heap* heap)
    : capacity(grow_step > 0 ? grow_step : DEFAULT_STEP), data(allocate(capacity, heap)), step(capacity), heap_(heap)
{
}

QVXML_buffer::~QVXML_buffer()
{
    qvxml_free(heap_, data, bytes_for(static_cast<size_t>(capacity)));
}

void QVXML_buffer::grow(size_t n)
{
    if (n <= static_cast<size_t>(capacity))
        return;
    // The text must stay within the signed 32-bit capacity and its terminator.
    size_t wanted = (n / static_cast<size_t>(step) + 1) * static_cast<size_t>(step);
    if (n >= INT32_MAX || wanted >= INT32_MAX)
        throw std::bad_alloc();
    void* grown = qvxml_reallocate(heap_, data, bytes_for(static_cast<size_t>(capacity)), bytes_for(wanted));
    if (!grown)
        throw std::bad_alloc();
    data = static_cast<wchar_t*>(grown);
    capacity = static_cast<int32_t>(wanted);
}

void QVXML_buffer::assign(const wchar_t* text)
{
    assign(text, text ? std::wcslen(text) : 0);
}

void QVXML_buffer::assign(const wchar_t* text, size_t count)
{
    if (capacity == step && count <= static_cast<size_t>(step)) {
        // Storage of one step is what a new one would be: reuse it (the text may
        // lie inside it, hence the move).
        if (count)
            std::memmove(data, text, count * sizeof(wchar_t));
        length_ = count;
        data[length_] = L'\0';
        return;
    }
    // Built aside first: the text may lie inside this buffer.
    QVXML_buffer fresh(step, heap_);
    fresh.append(text, count);
    swap(fresh);
}

void QVXML_buffer::append(const wchar_t* text)
{
    if (text)
        append(text, std::wcslen(text));
}

void QVXML_buffer::append(const wchar_t* text, size_t count)
{
    if (!count)
        return;
    grow(length_ + count);
    std::memcpy(data + length_, text, count * sizeof(wchar_t));
    length_ += count;
    data[length_] = L'\0';
}

void QVXML_buffer::append(wchar_t c)
{
    append(&c, 1);
}

int QVXML_buffer::compare_no_case(const wchar_t* text) const
{
    return qvxml_compare_no_case(data, text);
}

void QVXML_buffer::substring(QVXML_buffer& out, size_t start, size_t count) const
{
    if (start > length_)
        start = length_;
    if (count > length_ - start)
        count = length_ - start;
    out.assign(data + start, count);
}

void QVXML_buffer::trim_right()
{
    while (length_ > 0 && qvxml_is_space(data[length_ - 1]))
        --length_;
    data[length_] = L'\0';
}

void QVXML_buffer::release()
{
    assign(nullptr);
}

void QVXML_buffer::clear()
{
    length_ = 0;
    data[0] = L'\0';
}

void QVXML_buffer::swap(QVXML_buffer& other)
{
    std::swap(capacity, other.capacity);
    std::swap(data, other.data);
    std::swap(step, other.step);
    std::swap(length_, other.length_);
    std::swap(heap_, other.heap_);
}

bool qvxml_equals_no_case(const wchar_t* text, const wchar_t* piece, size_t count)
{
    for (size_t i = 0; i < count; ++i, ++text) {
        if (!*text || fold(*text) != fold(piece[i]))
            return false;
    }
    return *text == L'\0';
}

wchar_t* qvxml_malloc_copy(const wchar_t* text, size_t count)
{
    auto* copy = static_cast<wchar_t*>(std::malloc((count + 1) * sizeof(wchar_t)));
    if (!copy)
        throw std::bad_alloc();
    std::memcpy(copy, text, count * sizeof(wchar_t));
    copy[count] = L'\0';
    return copy;
}
