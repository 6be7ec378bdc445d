#include "trace/qv_trace_text.h"

#include "trace/qv_trace.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

QV_trace_text::~QV_trace_text()
{
    if (data_ != inline_)
        delete[] data_;
}

void QV_trace_text::grow_to(size_t capacity, bool keep)
{
    auto* bigger = new wchar_t[capacity];
    size_t kept = keep ? length_ : 0;
    std::memcpy(bigger, data_, kept * sizeof(wchar_t));
    bigger[kept] = L'\0';
    if (data_ != inline_)
        delete[] data_;
    data_ = bigger;
    capacity_ = capacity;
    length_ = kept;
}

void QV_trace_text::reserve(size_t count)
{
    if (count + 1 > capacity_)
        grow_to(count + 1 > 2 * capacity_ ? count + 1 : 2 * capacity_, true);  // appends stay linear
}

void QV_trace_text::append(const wchar_t* text)
{
    append(text, std::wcslen(text));
}

namespace {

// Writes "%<width>d" of value ending just before `end`; gives where it starts.
wchar_t* put_int_backwards(wchar_t* end, int value, int width)
{
    wchar_t* at = end;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        *--at = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *--at = L'-';
    while (end - at < width)
        *--at = L' ';
    return at;
}

} // namespace

void QV_trace_text::append_int(int value, int width)
{
    wchar_t digits[48];
    wchar_t* end = digits + 48;
    wchar_t* start = put_int_backwards(end, value, width < 40 ? width : 40);
    append(start, static_cast<size_t>(end - start));
}

void QV_trace_text::append_ids()
{
    wchar_t text[40];
    wchar_t* end = text + 40;
    wchar_t* at = end;
    *--at = L' ';
    at = put_int_backwards(at, static_cast<int>(GetCurrentThreadId()), 4);
    for (const wchar_t* p = L":T,"; *p; ++p)
        *--at = *p;
    at = put_int_backwards(at, static_cast<int>(GetCurrentProcessId()), 4);
    *--at = L':';
    *--at = L'P';
    append(at, static_cast<size_t>(end - at));
}

void QV_trace_text::clear()
{
    length_ = 0;
    data_[0] = L'\0';
}

void QV_trace_text::take_terminated()
{
    length_ = std::wcslen(data_);
}

bool QV_trace_text::vformat(size_t initial, const wchar_t* format, va_list args)
{
    size_t size = initial ? initial : 1;
    for (;;) {
        if (size > capacity_)
            grow_to(size, false);
        va_list pass;
        va_copy(pass, args);
        int written = _vsnwprintf(data_, size, format, pass);
        va_end(pass);
        if (written >= 0 && static_cast<size_t>(written) < size) {
            data_[written] = L'\0';
            length_ = static_cast<size_t>(written);
            return true;
        }
        // -1 means "too small" or "cannot format"; only the sizing call tells
        // them apart, and a rejected text must not grow the buffer forever.
        va_copy(pass, args);
        int needed = written >= 0 ? written : _vscwprintf(format, pass);
        va_end(pass);
        if (needed < 0) {
            clear();
            return false;
        }
        while (size < static_cast<size_t>(needed) + 1)
            size *= 2;
    }
}

bool QV_trace_text::format(size_t initial, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = vformat(initial, format, args);
    va_end(args);
    return ok;
}

namespace {

constexpr DWORD LONGEST_MODULE_PATH = 32768;  // the longest path Windows makes

// Asks again with a doubled buffer until the module's path fits; a cut path would
// name another file.
bool long_module_file_name(QV_trace_text& path, DWORD* error)
{
    for (DWORD size = 2 * MAX_PATH; size <= 2 * LONGEST_MODULE_PATH; size *= 2) {
        path.reserve(size);
        DWORD length = GetModuleFileNameW(qv_module_handle(), path.data(), size);
        if (length == 0) {
            *error = GetLastError();
            return false;
        }
        if (length < size) {
            path.data()[length] = L'\0';
            path.take_terminated();
            return true;
        }
    }
    *error = ERROR_INSUFFICIENT_BUFFER;
    return false;
}

void append_base_name(QV_trace_text& out, const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    }
    const wchar_t* dot = std::wcsrchr(name, L'.');
    out.append(name, dot ? static_cast<size_t>(dot - name) : std::wcslen(name));
}

} // namespace

// Most paths fit the stack buffer; every record of a free function asks.
bool qv_trace_module_base_name(QV_trace_text& out, DWORD* error)
{
    out.clear();
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(qv_module_handle(), path, MAX_PATH);
    if (length == 0) {
        *error = GetLastError();
        return false;
    }
    if (length < MAX_PATH) {
        path[length] = L'\0';
        append_base_name(out, path);
        return true;
    }
    QV_trace_text long_path;
    if (!long_module_file_name(long_path, error))
        return false;
    append_base_name(out, long_path.c_str());
    return true;
}

bool qv_trace_is_qualified(const wchar_t* function)
{
    return std::wcschr(function, L':') != nullptr;
}

void qv_trace_append_escaped(QV_trace_text& out, const wchar_t* text)
{
    for (const wchar_t* p = text; *p; ++p) {
        out.append(p, 1);
        if (*p == L'%')
            out.append(p, 1);
    }
}
