#pragma once
// The document's writer. Each element is written on its own lines, indented by
// two blanks per level; an element with text keeps it on its start tag's line,
// empty elements are never self-closing, and the declaration is never closed.

#include "xml/qvxml_node.h"

#include <cstddef>
#include <cstring>
#include <cwchar>

// The writer's one growing output: malloc storage that doubles as it fills,
// handed to the caller as it is (no final copy) and terminated then. Growth
// throws std::bad_alloc and keeps what was written.
class QVXML_output {
public:
    QVXML_output() = default;
    ~QVXML_output();
    QVXML_output(const QVXML_output&) = delete;
    QVXML_output& operator=(const QVXML_output&) = delete;

    void append(const wchar_t* text, size_t count)
    {
        if (capacity_ - length_ < count || !data_)
            grow(length_ + count);
        std::memcpy(data_ + length_, text, count * sizeof(wchar_t));
        length_ += count;
    }
    void append(const wchar_t* text) { append(text, std::wcslen(text)); }
    void append(wchar_t c)
    {
        if (capacity_ == length_)
            grow(length_ + 1);
        data_[length_++] = c;
    }
    void append_blanks(size_t count);

    const wchar_t* data() const { return data_; }
    size_t length() const { return length_; }
    // The text, NUL-terminated, for the caller, who frees it with free.
    wchar_t* release();

private:
    void grow(size_t n);

    wchar_t* data_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;  // characters, not counting the terminator
};

// Appends node, written at that nesting depth, to out.
void qvxml_serialize(const QVXML_node* node, int depth, QVXML_output& out);
