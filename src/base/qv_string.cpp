#include "base/qv_string.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

QV_string_heap qv_string_heap = {
    [](size_t bytes) { return ::operator new(bytes); },
    [](void* block) { ::operator delete(block); },
};

wchar_t* qv_string_alloc(size_t count)
{
    void* block = qv_string_heap.allocate(count * sizeof(wchar_t));
    std::memset(block, 0, count * sizeof(wchar_t));
    return static_cast<wchar_t*>(block);
}

void qv_string_free(wchar_t* buffer)
{
    if (!buffer)
        return;
    SecureZeroMemory(buffer, (std::wcslen(buffer) + 1) * sizeof(wchar_t));
    qv_string_heap.release(buffer);
}

char* qv_narrow_alloc(size_t count)
{
    void* block = qv_string_heap.allocate(count);
    std::memset(block, 0, count);
    return static_cast<char*>(block);
}

void qv_narrow_free(char* buffer)
{
    if (!buffer)
        return;
    SecureZeroMemory(buffer, std::strlen(buffer) + 1);
    qv_string_heap.release(buffer);
}

namespace {

wchar_t* copy_of(const wchar_t* text, size_t count)
{
    wchar_t* buffer = qv_string_alloc(count + 1);
    std::memcpy(buffer, text, count * sizeof(wchar_t));
    return buffer;
}

// ANSI code page to UTF-16; null stays null, a failed conversion is the empty text.
wchar_t* widen(const char* text)
{
    if (!text)
        return nullptr;
    int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 0)
        return qv_string_alloc(1);
    wchar_t* buffer = qv_string_alloc(static_cast<size_t>(needed));
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, needed) <= 0)
        buffer[0] = L'\0';
    return buffer;
}

wchar_t ascii_lower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

QV_string::QV_string() : wide_(qv_string_alloc(1)) {}

QV_string::QV_string(std::nullptr_t) {}

QV_string::QV_string(const wchar_t* text)
{
    assign(text);
}

QV_string::QV_string(const char* text) : wide_(widen(text)) {}

QV_string::QV_string(const QV_string& other)
{
    assign(other.wide_);
}

QV_string::QV_string(QV_string&& other) noexcept
    : wide_(other.wide_), narrow_(other.narrow_)
{
    other.wide_ = nullptr;
    other.narrow_ = nullptr;
}

QV_string::~QV_string()
{
    qv_string_free(wide_);
    qv_narrow_free(narrow_);
}

QV_string& QV_string::operator=(const QV_string& other)
{
    assign(other);
    return *this;
}

QV_string& QV_string::operator=(QV_string&& other) noexcept
{
    if (this != &other) {
        qv_string_free(wide_);
        wide_ = other.wide_;
        other.wide_ = nullptr;
    }
    return *this;
}

void QV_string::assign(const QV_string& other)
{
    if (this != &other)
        assign(other.wide_);
}

void QV_string::assign(const wchar_t* text)
{
    if (text == wide_ && text)
        return;
    adopt(text ? copy_of(text, std::wcslen(text)) : nullptr);
}

void QV_string::adopt(wchar_t* buffer)
{
    qv_string_free(wide_);
    wide_ = buffer;
}

const char* QV_string::narrow()
{
    char* fresh = nullptr;
    int needed = wide_ ? WideCharToMultiByte(CP_ACP, 0, wide_, -1, nullptr, 0, nullptr, nullptr) : 0;
    if (needed > 0) {
        fresh = qv_narrow_alloc(static_cast<size_t>(needed));
        if (WideCharToMultiByte(CP_ACP, 0, wide_, -1, fresh, needed, nullptr, nullptr) <= 0)
            fresh[0] = '\0';
    } else {
        fresh = qv_narrow_alloc(1);
    }
    qv_narrow_free(narrow_);
    narrow_ = fresh;
    return narrow_;
}

unsigned QV_string::length() const
{
    return wide_ ? static_cast<unsigned>(std::wcslen(wide_)) : 0;
}

wchar_t* QV_string::dup() const
{
    if (!wide_)
        return nullptr;
    size_t count = std::wcslen(wide_) + 1;
    wchar_t* copy = new wchar_t[count];
    std::memcpy(copy, wide_, count * sizeof(wchar_t));
    return copy;
}

bool QV_string::equals(const wchar_t* text) const
{
    if (!wide_ || !text)
        return wide_ == text;
    return std::wcscmp(wide_, text) == 0;
}

bool QV_string::equals_no_case(const wchar_t* text) const
{
    if (!wide_ || !text)
        return wide_ == text;
    const wchar_t* a = wide_;
    const wchar_t* b = text;
    for (; *a && *b; ++a, ++b) {
        if (ascii_lower(*a) != ascii_lower(*b))
            return false;
    }
    return *a == *b;
}

bool QV_string::differs(const QV_string& other) const
{
    if (!wide_)
        return other.wide_ != nullptr;
    if (!other.wide_)
        return true;
    return std::wcscmp(wide_, other.wide_) != 0;
}

void QV_string::append(const wchar_t* text, size_t count)
{
    size_t own = length();
    wchar_t* joined = qv_string_alloc(own + count + 1);
    if (own)
        std::memcpy(joined, wide_, own * sizeof(wchar_t));
    std::memcpy(joined + own, text, count * sizeof(wchar_t));
    adopt(joined);
}

QV_string QV_string::operator+=(const QV_string& other)
{
    return *this += other.wide_;
}

QV_string QV_string::operator+=(const wchar_t* text)
{
    if (text)
        append(text, std::wcslen(text));
    return *this;
}

QV_string QV_string::operator+=(const char* text)
{
    QV_string widened(text);
    return *this += widened.wide_;
}

bool QV_string::substr(QV_string& out, unsigned position, unsigned count) const
{
    unsigned size = length();
    if (position >= size || count > size - position)
        return false;
    out.adopt(copy_of(wide_ + position, count));
    return true;
}

bool QV_string::substr_from(QV_string& out, unsigned position) const
{
    unsigned size = length();
    if (position >= size)
        return false;
    return substr(out, position, size - position);
}

QV_string operator+(const QV_string& left, const QV_string& right)
{
    return left + right.c_str();
}

QV_string operator+(const QV_string& left, const wchar_t* right)
{
    QV_string result(left);
    result += right;
    return result;
}

QV_string operator+(const QV_string& left, const char* right)
{
    QV_string result(left);
    result += right;
    return result;
}

QV_string qv_vformat(const wchar_t* format, va_list args)
{
    if (!format)
        return QV_string();
    va_list sizing;
    va_copy(sizing, args);
    int needed = _vscwprintf(format, sizing);
    va_end(sizing);
    if (needed < 0)
        return QV_string();
    wchar_t* buffer = qv_string_alloc(static_cast<size_t>(needed) + 1);
    va_list filling;
    va_copy(filling, args);
    _vsnwprintf(buffer, static_cast<size_t>(needed) + 1, format, filling);
    va_end(filling);
    QV_string result(buffer);
    qv_string_free(buffer);
    return result;
}

QV_string qv_vformat(const char* format, va_list args)
{
    if (!format)
        return QV_string();
    va_list sizing;
    va_copy(sizing, args);
    int needed = _vscprintf(format, sizing);
    va_end(sizing);
    if (needed < 0)
        return QV_string();
    size_t size = static_cast<size_t>(needed) + 1;
    char* buffer = qv_narrow_alloc(size);
    va_list filling;
    va_copy(filling, args);
    _vsnprintf(buffer, size, format, filling);
    va_end(filling);
    QV_string result(buffer);
    qv_narrow_free(buffer);
    return result;
}

QV_stringf::QV_stringf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    QV_string formatted = qv_vformat(format, args);
    va_end(args);
    assign(formatted);
}

QV_stringf::QV_stringf(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    QV_string formatted = qv_vformat(format, args);
    va_end(args);
    assign(formatted);
}

QV_stringf::~QV_stringf() = default;
