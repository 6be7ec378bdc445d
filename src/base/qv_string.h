#pragma once
// Owned UTF-16 text with an on-demand copy in the ANSI code page. The product
// handles key material, so every buffer a string owns is zeroed before release.

#include <cstdarg>
#include <cstddef>

class QV_types {};

class QV_string : private QV_types {
public:
    QV_string();                        // the empty text
    QV_string(std::nullptr_t);          // no text
    QV_string(const wchar_t* text);     // a copy; null gives no text
    QV_string(const char* text);        // widened from the ANSI code page; null gives no text
    QV_string(const QV_string& other);
    QV_string(QV_string&& other) noexcept;
    virtual ~QV_string();

    QV_string& operator=(const QV_string& other);
    QV_string& operator=(QV_string&& other) noexcept;
    void assign(const QV_string& other);
    void assign(const wchar_t* text);

    const wchar_t* c_str() const { return wide_; }
    // The text in the ANSI code page; owned by the string and valid until the next
    // call or destruction (assignment keeps the old copy alive).
    const char* narrow();
    unsigned length() const;
    bool is_null() const { return wide_ == nullptr; }
    bool is_empty() const { return length() == 0; }
    // A heap copy for the caller, released with delete[]; null for no text.
    wchar_t* dup() const;

    bool equals(const wchar_t* text) const;
    bool equals_no_case(const wchar_t* text) const;
    virtual bool differs(const QV_string& other) const;

    QV_string operator+=(const QV_string& other);
    QV_string operator+=(const wchar_t* text);
    QV_string operator+=(const char* text);

    // Both leave out untouched and answer false when the bounds fail.
    bool substr(QV_string& out, unsigned position, unsigned count) const;
    bool substr_from(QV_string& out, unsigned position) const;

protected:
    // Takes ownership of a buffer allocated by qv_string_alloc.
    void adopt(wchar_t* buffer);

private:
    void append(const wchar_t* text, size_t count);

    wchar_t* wide_ = nullptr;
    char* narrow_ = nullptr;
};

QV_string operator+(const QV_string& left, const QV_string& right);
QV_string operator+(const QV_string& left, const wchar_t* right);
QV_string operator+(const QV_string& left, const char* right);

class QV_stringf : public QV_string {
public:
    QV_stringf(const char* format, ...);
    QV_stringf(const wchar_t* format, ...);
    ~QV_stringf() override;
};

// Formats with the runtime's (Microsoft) printf conventions; the text is sized
// first, so it grows without bound. A format the formatter rejects gives the
// empty text. The argument list is not consumed.
QV_string qv_vformat(const wchar_t* format, va_list args);
QV_string qv_vformat(const char* format, va_list args);

// Zeroed buffers of count elements, and their wiping release. Every buffer the
// strings own goes through these.
wchar_t* qv_string_alloc(size_t count);
void qv_string_free(wchar_t* buffer);
char* qv_narrow_alloc(size_t count);
void qv_narrow_free(char* buffer);

// Test seam: the heap under every buffer the strings own, and under the payload
// blocks of path lists (operator new and delete). A test may put an allocator here that looks at each block as it comes
// back, whichever path gives it back.
struct QV_string_heap {
    void* (*allocate)(size_t bytes);  // never null; failure throws as operator new does
    void (*release)(void* block);
};
extern QV_string_heap qv_string_heap;
