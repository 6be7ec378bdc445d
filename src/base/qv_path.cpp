#include "base/qv_path.h"

#include "base/qv_os.h"

#include "trace/qv_trace.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

DWORD(WINAPI* qv_path_get_attributes)(LPCWSTR path) = qv_get_file_attributes;

namespace {

// No Windows path is longer; a system call asking for more has gone wrong.
constexpr DWORD longest_buffer = 32768;

// Wine's GetLongPathNameW builds the long form in a fixed stack buffer of 1,024
// characters and runs past it for longer texts; such a text keeps its form,
// the answer of a failed call.
constexpr unsigned long_form_limit = 1024;

QV_path text_range(const wchar_t* text, size_t count)
{
    wchar_t* buffer = qv_string_alloc(count + 1);
    std::memcpy(buffer, text, count * sizeof(wchar_t));
    QV_path result(buffer);
    qv_string_free(buffer);
    return result;
}

// Runs fetch(buffer, size) with zeroed buffers from first_size up until the
// text fits. fetch answers the characters written (without the terminator),
// a size at least as large as the buffer when it did not fit, or 0 on
// failure. A truncated text is never taken.
template <class Fetch>
bool fetch_text(QV_path& out, DWORD first_size, Fetch fetch)
{
    DWORD size = std::max<DWORD>(first_size, 2);
    while (size <= longest_buffer + 1) {
        wchar_t* buffer = qv_string_alloc(size);
        DWORD got = fetch(buffer, size);
        bool fits = got != 0 && got < size;
        buffer[size - 1] = L'\0';  // a truncated fetch may lack its terminator
        if (fits)
            out.assign(buffer);
        qv_string_free(buffer);
        if (fits || got == 0)
            return fits;
        size = std::max(size * 2, got + 1);
    }
    return false;
}

// "X:" or "X:\": a drive counts as a directory and a root even without a medium.
bool is_bare_drive(const wchar_t* text)
{
    wchar_t letter = text[0];
    bool is_letter = (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
    if (!is_letter || text[1] != L':')
        return false;
    return text[2] == L'\0' || (text[2] == L'\\' && text[3] == L'\0');
}

// The shell's path tests are documented for MAX_PATH texts only; no root is
// that long, and a longer directory is answered from its attributes.
bool is_directory(const wchar_t* text, unsigned length)
{
    if (length < MAX_PATH)
        return PathIsDirectoryW(text) != FALSE;
    DWORD attributes = qv_get_file_attributes(text);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

QV_path root_of(const QV_path& path)
{
    wchar_t buffer[MAX_PATH] = {};
    std::wcsncpy(buffer, path.c_str(), MAX_PATH - 1);
    PathStripToRootW(buffer);  // a text without a root stays as it was
    QV_path root(buffer);
    SecureZeroMemory(buffer, sizeof(buffer));
    return root;
}

bool is_key_rest(const wchar_t* rest, size_t count)
{
    static const wchar_t key[] = L".dxkey";
    if (count != 6)
        return false;
    for (size_t i = 0; i < 6; ++i) {
        wchar_t c = rest[i];
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != key[i])
            return false;
    }
    return true;
}

bool make_directory(const QV_path& level)
{
    if (qv_create_directory(level.c_str(), nullptr))
        return true;
    // Made meanwhile by someone else, or the same directory written with a
    // trailing backslash: what the caller wants is there.
    if (GetLastError() == ERROR_ALREADY_EXISTS && !QV_path(level.c_str()).is_file())
        return true;
    qv_trace_failed_call(L"QV_path::create_directory_tree", L"CreateDirectoryW", level.c_str());
    return false;
}

} // namespace

QV_path::QV_path() = default;

QV_path::QV_path(std::nullptr_t) : QV_string(nullptr) {}

QV_path::QV_path(const wchar_t* text) : QV_string(text) {}

QV_path::QV_path(const QV_string& text) : QV_string(text) {}

QV_path::QV_path(const QV_path& other)
    : QV_string(other), idlist_(other.idlist_.clone()), flags_(other.flags_)
{
}

QV_path::QV_path(QV_path&& other) noexcept
    : QV_string(std::move(other)), idlist_(std::move(other.idlist_)), flags_(other.flags_)
{
    other.flags_ = 0;
}

QV_path::QV_path(const QV_path* other) : QV_path(other ? *other : QV_path(nullptr)) {}

QV_path::QV_path(HMODULE module)
{
    qv_trace_enter(L"QV_path::QV_path", 0);
    bool ok = fetch_text(*this, MAX_PATH + 1, [module](wchar_t* buffer, DWORD size) {
        return GetModuleFileNameW(module, buffer, size);
    });
    if (!ok)
        qv_trace_failed_call(L"QV_path::QV_path", L"GetModuleFileNameW", L"");
}

QV_path::QV_path(int csidl, BOOL create)
{
    qv_trace_enter(L"QV_path::QV_path", 0);
    wchar_t buffer[MAX_PATH + 1] = {};
    if (SHGetSpecialFolderPathW(nullptr, buffer, csidl, create))
        assign(buffer);
    else
        qv_trace_failed_call(L"QV_path::QV_path", L"SHGetSpecialFolderPathW", L"");
    SecureZeroMemory(buffer, sizeof(buffer));
}

QV_path::QV_path(int selector)
{
    qv_trace_enter(L"QV_path::QV_path", 0);
    if (selector != temp_directory)
        return;
    bool ok = fetch_text(*this, MAX_PATH + 1, [](wchar_t* buffer, DWORD size) {
        return qv_get_temp_path(size, buffer);
    });
    if (!ok)
        qv_trace_failed_call(L"QV_path::QV_path", L"GetTempPathW", L"");
}

QV_path::~QV_path() = default;

QV_path& QV_path::operator=(const QV_path& other)
{
    assign(other);
    return *this;
}

QV_path& QV_path::operator=(QV_path&& other) noexcept
{
    if (this != &other) {
        QV_string::operator=(std::move(other));
        idlist_ = std::move(other.idlist_);
        flags_ = other.flags_;
        other.flags_ = 0;
    }
    return *this;
}

QV_path& QV_path::operator=(const wchar_t* text)
{
    assign(text);
    return *this;
}

void QV_path::assign(const QV_path& other)
{
    if (this == &other)
        return;
    QV_string::assign(other);
    idlist_ = other.idlist_.clone();
    flags_ = other.flags_;
}

void QV_path::assign(const wchar_t* text)
{
    if (text && text == c_str())
        return;
    QV_string::assign(text);
    forget_cache();
}

void QV_path::forget_cache()
{
    idlist_.reset();
    flags_ = 0;
}

QV_path QV_path::operator+=(const QV_string& text)
{
    return *this += text.c_str();
}

QV_path QV_path::operator+=(const wchar_t* text)
{
    QV_string::operator+=(text);
    forget_cache();
    return *this;
}

QV_path QV_path::operator+=(const char* text)
{
    QV_string::operator+=(text);
    forget_cache();
    return *this;
}

QV_path QV_path::join(const QV_string& part)
{
    if (is_empty()) {
        QV_string::assign(part);
        forget_cache();
        return *this;
    }
    const wchar_t* left = c_str();
    const wchar_t* right = part.c_str() ? part.c_str() : L"";
    size_t left_count = length();
    size_t right_count = std::wcslen(right);
    wchar_t* joined = qv_string_alloc(left_count + right_count + 2);
    std::memcpy(joined, left, left_count * sizeof(wchar_t));
    bool left_ends = left[left_count - 1] == L'\\';
    bool right_starts = right[0] == L'\\';
    size_t at = left_count;
    if (left_ends && right_starts)
        --at;  // the part's backslash takes the place of the trailing one
    else if (!left_ends && !right_starts)
        joined[at++] = L'\\';
    std::memcpy(joined + at, right, right_count * sizeof(wchar_t));
    adopt(joined);
    forget_cache();
    return *this;
}

QV_path QV_path::parent() const
{
    if (is_empty() || is_root())
        return QV_path();
    const wchar_t* text = c_str();
    const wchar_t* back = std::wcsrchr(text, L'\\');
    const wchar_t* forward = std::wcsrchr(text, L'/');
    const wchar_t* separator = (forward && (!back || forward > back)) ? forward : back;
    if (!separator)
        return QV_path();
    QV_path result = text_range(text, static_cast<size_t>(separator - text));
    unsigned count = result.length();
    if (count && result.c_str()[count - 1] == L':')
        result += L"\\";
    if (result.equals_no_case(text))
        return QV_path();
    return result;
}

QV_path QV_path::file_name() const
{
    if (is_empty() || is_root())
        return QV_path();
    const wchar_t* back = std::wcsrchr(c_str(), L'\\');
    return QV_path(back ? back + 1 : c_str());
}

QV_path QV_path::extension() const
{
    QV_path name = file_name();
    if (name.is_empty())
        return QV_path();
    const wchar_t* dot = std::wcsrchr(name.c_str(), L'.');
    return dot ? QV_path(dot + 1) : QV_path();
}

QV_path QV_path::full_path() const
{
    qv_trace_enter(L"QV_path::full_path", 0);
    if (is_empty())
        return QV_path(c_str());
    const wchar_t* text = c_str();
    DWORD needed = GetFullPathNameW(text, 0, nullptr, nullptr);
    QV_path result;
    bool ok = needed && fetch_text(result, needed, [text](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(text, size, buffer, nullptr);
    });
    if (ok)
        return result;
    qv_trace_failed_call(L"QV_path::full_path", L"GetFullPathNameW", text);
    return QV_path(text);
}

QV_path QV_path::long_path() const
{
    qv_trace_enter(L"QV_path::long_path", 0);
    if (is_empty() || length() >= long_form_limit)
        return QV_path(c_str());
    const wchar_t* text = c_str();
    QV_path result;
    bool ok = fetch_text(result, length() + 1, [text](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(text, buffer, size);
    });
    if (ok)
        return result;
    qv_trace_failed_call(L"QV_path::long_path", L"GetLongPathNameW", text);
    return QV_path(text);
}

bool QV_path::exists() const
{
    if (is_empty())
        return false;
    if (qv_path_get_attributes(c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    // The encryption layer's refusals (ERROR_ENCRYPTION_FAILED and the block
    // after it) mean the file is there but cannot be described to us.
    DWORD error = GetLastError();
    return error >= 6000 && error <= 6199;
}

bool QV_path::is_file() const
{
    if (is_empty())
        return false;
    if ((flags_ & kind_mask) == 0) {
        if (is_directory(c_str(), length()))
            flags_ = static_cast<unsigned short>((flags_ & ~kind_mask) | kind_directory);
        else if (is_bare_drive(c_str()))
            flags_ = kind_directory | root_yes;
        else
            flags_ = static_cast<unsigned short>((flags_ & ~kind_mask) | kind_file);
    }
    return (flags_ & kind_mask) == kind_file;
}

bool QV_path::is_root() const
{
    if (is_empty())
        return false;
    if ((flags_ & root_mask) == 0) {
        bool root = (length() < MAX_PATH && PathIsRootW(c_str())) || is_bare_drive(c_str());
        flags_ = static_cast<unsigned short>((flags_ & ~root_mask) | (root ? root_yes : root_no));
        if (root)
            flags_ = static_cast<unsigned short>((flags_ & ~kind_mask) | kind_directory);
    }
    return (flags_ & root_mask) == root_yes;
}

bool QV_path::create_directory_tree() const
{
    qv_trace_enter(L"QV_path::create_directory_tree", 0);
    if (is_empty())
        return false;
    if (exists())
        return !is_file();
    // Walk up to the nearest existing level, remembering the missing ones by
    // length: each is a leading part of this text (the one form that is not,
    // "X:" made "X:\", has no parent, so the walk fails there). A loop, not
    // recursion, so a path of thousands of levels cannot exhaust the stack.
    std::vector<unsigned> missing{length()};
    for (QV_path level = parent();; level = level.parent()) {
        if (level.is_empty())
            return false;
        if (level.exists()) {
            if (level.is_file())
                return false;
            break;
        }
        missing.push_back(level.length());
    }
    for (auto count = missing.rbegin(); count != missing.rend(); ++count) {
        if (!make_directory(text_range(c_str(), *count)))
            return false;
    }
    return true;
}

QV_path QV_path::unique_name() const
{
    qv_trace_enter(L"QV_path::unique_name", 0);
    if (!exists())
        return *this;
    QV_path folder = parent();
    QV_path suffix_ext = extension();
    QV_path stem = file_name();
    if (const wchar_t* dot = std::wcsrchr(stem.c_str(), L'.'))
        stem = text_range(stem.c_str(), static_cast<size_t>(dot - stem.c_str()));
    for (int n = 1; n <= 65535; ++n) {
        wchar_t suffix[10] = {};
        _snwprintf(suffix, 9, L" (%d)", n);
        QV_path name = stem + suffix;
        if (suffix_ext.has_text()) {
            name += L".";
            name += suffix_ext;
        }
        QV_path candidate = folder.has_text() ? ::join(folder, name) : name;
        if (!candidate.exists())
            return candidate;
    }
    return QV_path();
}

bool QV_path::sorts_before(const QV_path& other) const
{
    const wchar_t* mine = c_str() ? c_str() : L"";
    const wchar_t* theirs = other.c_str() ? other.c_str() : L"";
    size_t mine_count = length();
    size_t theirs_count = other.length();
    size_t common = std::min(mine_count, theirs_count);
    for (size_t i = 0; i < common; ++i) {
        // A key file sorts first among the paths sharing its stem; two key
        // files (different only in case) fall through to the plain comparison.
        bool mine_key = is_key_rest(mine + i, mine_count - i);
        bool theirs_key = is_key_rest(theirs + i, theirs_count - i);
        if (mine_key != theirs_key)
            return mine_key;
        if (mine[i] == theirs[i])
            continue;
        if (mine[i] == L'\\')
            return true;
        if (theirs[i] == L'\\')
            return false;
        return mine[i] < theirs[i];
    }
    return mine_count < theirs_count;
}

QV_path join(const QV_path& first, const QV_string& second)
{
    QV_path result(first);
    result.join(second);
    return result;
}

QV_path operator+(const QV_path& left, const QV_string& right)
{
    return left + right.c_str();
}

QV_path operator+(const QV_path& left, const wchar_t* right)
{
    QV_path result(left.c_str());
    result += right;
    return result;
}

QV_path operator+(const QV_path& left, const char* right)
{
    QV_path result(left.c_str());
    result += right;
    return result;
}

bool same_path(const QV_path& a, const QV_path& b)
{
    if (a.is_null() || b.is_null())
        return a.is_null() && b.is_null();
    if (a.equals_no_case(b.c_str()))
        return true;
    qv_trace_enter(L"same_path", 0);
    // Absolute first, so a relative or drive-relative name has the root it
    // actually lives under.
    QV_path full_a = a.full_path();
    QV_path full_b = b.full_path();
    if (!root_of(full_a).equals_no_case(root_of(full_b).c_str()))
        return false;
    return full_a.long_path().equals_no_case(full_b.long_path().c_str());
}

namespace {

const wchar_t EXTENDED[] = L"\\\\?\\";
const wchar_t EXTENDED_UNC[] = L"\\\\?\\UNC\\";

bool has_prefix(const wchar_t* text, const wchar_t* prefix)
{
    return text != nullptr && std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

} // namespace

QV_string qv_extended_path(const QV_string& full)
{
    const wchar_t* text = full.c_str();
    if (!text || has_prefix(text, EXTENDED) || has_prefix(text, L"\\\\.\\"))
        return full;
    if (has_prefix(text, L"\\\\"))
        return QV_string(EXTENDED_UNC) + (text + 2);
    return QV_string(EXTENDED) + full;
}

QV_string qv_plain_path(const QV_string& path)
{
    const wchar_t* text = path.c_str();
    if (has_prefix(text, EXTENDED_UNC))
        return QV_string(L"\\\\") + (text + std::wcslen(EXTENDED_UNC));
    if (has_prefix(text, EXTENDED))
        return QV_string(text + std::wcslen(EXTENDED));
    return path;
}
