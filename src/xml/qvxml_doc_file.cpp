// Loading and saving documents as files.
#include "xml/qvxml_doc.h"

#include "base/qv_unique.h"
#include "xml/qvxml_parser.h"
#include "xml/qvxml_serializer.h"

#include <cstdlib>

namespace {

// Files this large are refused: their text would not fit the model's buffers.
constexpr LONGLONG MAX_FILE_SIZE = 0x80000000LL;

// bytes widened in that code page into a malloc block; null when it cannot be allocated.
wchar_t* widen(const char* bytes, UINT code_page)
{
    int count = MultiByteToWideChar(code_page, 0, bytes, -1, nullptr, 0);
    if (count <= 0)
        count = 1;
    auto* wide = static_cast<wchar_t*>(std::malloc(static_cast<size_t>(count) * sizeof(wchar_t)));
    if (!wide)
        return nullptr;
    if (MultiByteToWideChar(code_page, 0, bytes, -1, wide, count) <= 0)
        wide[0] = L'\0';
    return wide;
}

} // namespace

bool QVXML_doc::load_from_file(const wchar_t* path)
{
    QV_file file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    return file && load_from_handle(file.get());
}

bool QVXML_doc::load_from_handle(HANDLE file)
{
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0 || size.QuadPart >= MAX_FILE_SIZE)
        return false;
    // Two bytes more than the file: room for a terminator in either width.
    QV_malloc_block block(std::malloc(static_cast<size_t>(size.QuadPart) + 2));
    if (!block)
        return false;
    auto* bytes = static_cast<char*>(block.get());
    DWORD read = 0;
    if (!ReadFile(file, bytes, size.LowPart, &read, nullptr))
        return false;
    bytes[read] = bytes[read + 1] = '\0';
    return load_bytes(bytes, read);
}

// The bytes actually read, terminated: UTF-16LE after its mark, else 8-bit text.
bool QVXML_doc::load_bytes(char* bytes, DWORD size)
{
    if (size >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        auto* units = reinterpret_cast<wchar_t*>(bytes);
        units[size / 2] = L'\0';
        return load_from_string(units + 1);
    }
    return load_8bit(bytes);
}

// Read in the ANSI code page first to find the declaration; read again as UTF-8
// when it says so.
bool QVXML_doc::load_8bit(const char* bytes)
{
    QV_malloc_block ansi(widen(bytes, CP_ACP));
    UINT code_page = ansi ? QVXML_parser::encoding_of(static_cast<wchar_t*>(ansi.get())) : CP_ACP;
    if (code_page == CP_ACP && ansi)
        return load_from_string(static_cast<wchar_t*>(ansi.get()));
    QV_malloc_block text(widen(bytes, code_page));
    return text && load_from_string(static_cast<wchar_t*>(text.get()));
}

bool QVXML_doc::save_to_file(const wchar_t* path)
{
    if (!root_)
        return false;
    QV_file file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && save_to_handle(file.get());
}

// One write of the whole text, UTF-16LE with its mark, whatever the declaration says.
bool QVXML_doc::save_to_handle(HANDLE file)
{
    if (!root_ || file == INVALID_HANDLE_VALUE)
        return false;
    QVXML_output text;
    write_with_mark(text);
    if (text.length() > MAXDWORD / sizeof(wchar_t))
        return false;
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.length() * sizeof(wchar_t)), &written, nullptr) !=
           FALSE;
}
