#pragma once
// The growable wide-character text that holds every name, value and text of the
// XML model. Growth throws std::bad_alloc and leaves the old text in place.

#include <cstddef>
#include <cstdint>

class QVXML_heap;

struct QVXML_buffer {
    static constexpr int32_t DEFAULT_STEP = 64;

    // The empty text with a capacity of one step, stored on that heap (null: the
    // C runtime's).
    explicit QVXML_buffer(int32_t grow_step = DEFAULT_STEP, QVXML_heap* heap = nullptr);
    ~QVXML_buffer();
    QVXML_buffer(const QVXML_buffer&) = delete;
    QVXML_buffer& operator=(const QVXML_buffer&) = delete;

    // Makes room for n characters besides the terminator: nothing when they fit,
    // otherwise the capacity becomes (n / step + 1) * step.
    void grow(size_t n);

    // Null assigns the empty text; the storage is released and made anew.
    void assign(const wchar_t* text);
    void assign(const wchar_t* text, size_t count);
    void append(const wchar_t* text);
    void append(const wchar_t* text, size_t count);
    void append(wchar_t c);

    // Compares without the case of ASCII letters; null compares as the empty text.
    int compare_no_case(const wchar_t* text) const;
    bool equals_no_case(const wchar_t* text) const { return compare_no_case(text) == 0; }

    size_t length() const { return length_; }
    const wchar_t* c_str() const { return data; }
    // count characters from start into out, both clamped to the text.
    void substring(QVXML_buffer& out, size_t start, size_t count) const;
    // Cuts the final run of white space.
    void trim_right();
    // Back to the empty text with a capacity of one step.
    void release();
    // The empty text, keeping the storage (for scratch texts used over and over).
    void clear();
    // Exchanges the texts (for results built aside and then taken over whole).
    void swap(QVXML_buffer& other);
    // Where the text is stored; texts built aside for this one go there too.
    QVXML_heap* heap() const { return heap_; }

    int32_t capacity;
    wchar_t* data;
    int32_t step;

private:
    // Kept so that appending does not measure the text every time.
    size_t length_ = 0;
    QVXML_heap* heap_;
};

// ASCII-only case folding, as the default locale's case-insensitive comparison does it.
int qvxml_compare_no_case(const wchar_t* a, const wchar_t* b);

// White space as iswspace counts it, answered without a call for ASCII.
bool qvxml_is_space(wchar_t c);

// True when text is exactly the count characters at piece, ASCII case ignored.
bool qvxml_equals_no_case(const wchar_t* text, const wchar_t* piece, size_t count);

// A malloc copy of count characters and a terminator, for strings the model hands
// out (released with free); throws std::bad_alloc when it cannot be allocated.
wchar_t* qvxml_malloc_copy(const wchar_t* text, size_t count);
