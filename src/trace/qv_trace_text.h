#pragma once
// What the record producers and the writer share: a growable text buffer, the
// last-error keeper and the module name that prefixes records.

#include <windows.h>

#include <cstdarg>
#include <cstddef>

// Wide text whose buffer grows by doubling; short records stay off the heap.
class QV_trace_text {
public:
    QV_trace_text() { inline_[0] = L'\0'; }
    ~QV_trace_text();
    QV_trace_text(const QV_trace_text&) = delete;
    QV_trace_text& operator=(const QV_trace_text&) = delete;

    // Formats into a buffer of `initial` characters, doubled until the text fits.
    // False when the formatter rejects the format or its arguments; the argument
    // list is not consumed.
    bool vformat(size_t initial, const wchar_t* format, va_list args);
    bool format(size_t initial, const wchar_t* format, ...);

    // Makes room for `count` characters and a terminator, keeping the text.
    void reserve(size_t count);
    void append(const wchar_t* text, size_t count)
    {
        if (length_ + count >= capacity_)
            reserve(length_ + count);
        for (size_t i = 0; i < count; ++i)
            data_[length_ + i] = text[i];
        length_ += count;
        data_[length_] = L'\0';
    }
    void append(const wchar_t* text);
    // What "%<width>d" prints: the decimal value right-aligned in `width` columns.
    void append_int(int value, int width = 0);
    // "P:%4d,T:%4d " of the calling process and thread.
    void append_ids();
    void clear();
    // Takes the length from the terminator after data() was filled directly.
    void take_terminated();

    const wchar_t* c_str() const { return data_; }
    wchar_t* data() { return data_; }
    size_t length() const { return length_; }
    size_t capacity() const { return capacity_; }

private:
    void grow_to(size_t capacity, bool keep);

    static constexpr size_t INLINE = 256;
    wchar_t inline_[INLINE];  // only what length() covers is ever read
    wchar_t* data_ = inline_;
    size_t capacity_ = INLINE;
    size_t length_ = 0;
};

// Saves the thread's last error and puts it back on every path out.
class QV_last_error_keeper {
public:
    QV_last_error_keeper() : saved_(GetLastError()) {}
    ~QV_last_error_keeper() { SetLastError(saved_); }
    QV_last_error_keeper(const QV_last_error_keeper&) = delete;
    QV_last_error_keeper& operator=(const QV_last_error_keeper&) = delete;

private:
    DWORD saved_;
};

// True when the cached switch says tracing is off and is not yet due for a new
// look at the registry: the record would be dropped unwritten, so the producers
// skip building it. Changes no last error.
bool qv_trace_known_off();

// The recorded module's file name without folder and without everything from
// its last "."; false (out empty, *error set) when the name cannot be read.
bool qv_trace_module_base_name(QV_trace_text& out, DWORD* error);

// True when the name is qualified ("Class::method") and so takes no module prefix.
bool qv_trace_is_qualified(const wchar_t* function);

// Appends text with every "%" doubled, for names spliced into a format.
void qv_trace_append_escaped(QV_trace_text& out, const wchar_t* text);
