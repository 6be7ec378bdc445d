#include "cab/qv_cab_reservation.h"

#include "base/qv_os.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

constexpr size_t FILE_NAME_MAX = 255;
constexpr unsigned LAST_NUMBER = 9999;
constexpr wchar_t SUFFIX[] = L".partial";
constexpr size_t SUFFIX_LENGTH = sizeof(SUFFIX) / sizeof(wchar_t) - 1;
constexpr int PUBLISH_ATTEMPTS = 64;

bool is_low_surrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The archive's name, cut so that ".<4 digits>.partial" still fits a file name.
std::wstring stem_of(const QV_string& archive_name)
{
    std::wstring stem = archive_name.c_str() ? archive_name.c_str() : L"";
    size_t room = FILE_NAME_MAX - (1 + 4 + SUFFIX_LENGTH);
    if (stem.size() > room)
        stem.resize(is_low_surrogate(stem[room]) ? room - 1 : room);
    return stem;
}

std::wstring numbered(const std::wstring& stem, unsigned number)
{
    return stem + L"." + std::to_wstring(number) + SUFFIX;
}

// Whether name is "<stem>.<digits>.partial", case ignored as the file system does.
bool is_reservation_of(const wchar_t* name, const std::wstring& stem)
{
    size_t length = std::wcslen(name);
    if (length < stem.size() + 2 + SUFFIX_LENGTH || name[stem.size()] != L'.' ||
        CompareStringOrdinal(name, static_cast<int>(stem.size()), stem.c_str(), static_cast<int>(stem.size()),
                             TRUE) != CSTR_EQUAL ||
        CompareStringOrdinal(name + length - SUFFIX_LENGTH, -1, SUFFIX, -1, TRUE) != CSTR_EQUAL)
        return false;
    for (size_t i = stem.size() + 1; i < length - SUFFIX_LENGTH; ++i) {
        if (name[i] < L'0' || name[i] > L'9')
            return false;
    }
    return true;
}

// A path the file functions take at any length: an absolute path of MAX_PATH
// characters or more goes with the "\\?\" prefix.
std::wstring api_path(const std::wstring& path)
{
    if (path.size() < MAX_PATH)
        return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    if (path.compare(0, 2, L"\\\\") == 0 && path.compare(0, 4, L"\\\\?\\") != 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

// Deletes the reservations of stem that no writer holds; a held one refuses.
void remove_dead(const std::wstring& folder, const std::wstring& stem)
{
    WIN32_FIND_DATAW found;
    QV_find search(qv_find_first_file(api_path(folder + stem + L".*" + SUFFIX).c_str(), &found));
    if (!search)
        return;
    do {
        if (is_reservation_of(found.cFileName, stem))
            qv_delete_file(api_path(folder + found.cFileName).c_str());
    } while (qv_find_next_file(search.get(), &found));
}

std::string ascii_form(const std::wstring& name)
{
    std::string out;
    for (wchar_t c : name)
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '_';
    return out;
}

bool rename_held(HANDLE file, const QV_path& target)
{
    std::wstring name = api_path(target.c_str());
    size_t bytes = name.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes, 0);  // the spare is the terminator
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(bytes);
    std::memcpy(info->FileName, name.c_str(), bytes);
    return qv_set_file_info(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

}  // namespace

QV_string qv_cab_reservation_name(const QV_string& archive_name, unsigned number)
{
    return QV_string(numbered(stem_of(archive_name), number).c_str());
}

QV_cab_reservation::~QV_cab_reservation()
{
    discard();
}

bool QV_cab_reservation::reserve(const QV_string& folder, const QV_string& archive_name)
{
    discard();
    std::wstring stem = stem_of(archive_name);
    std::wstring where = folder.c_str() ? folder.c_str() : L"";
    if (stem.empty())
        return false;
    remove_dead(where, stem);
    for (unsigned number = 1; number <= LAST_NUMBER; ++number) {
        std::wstring name = numbered(stem, number);
        // Writers are kept out, and so is deletion: that is what marks it as alive.
        file_.reset(qv_create_file(api_path(where + name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_) {
            library_name_ = ascii_form(name);
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

int QV_cab_reservation::open_descriptor(int* error) const
{
    QV_handle copy;
    LARGE_INTEGER start = {};
    if (!file_ || !DuplicateHandle(GetCurrentProcess(), file_.get(), GetCurrentProcess(), copy.put(), 0, FALSE,
                                   DUPLICATE_SAME_ACCESS) ||
        !qv_set_file_pointer(copy.get(), start, nullptr, FILE_BEGIN) || !qv_set_end_of_file(copy.get())) {
        *error = EACCES;
        return -1;
    }
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(copy.get()), _O_BINARY);
    if (descriptor == -1) {
        *error = errno;
        return -1;
    }
    copy.release();  // the descriptor owns it now
    return descriptor;
}

bool QV_cab_reservation::publish(QV_path& target)
{
    if (!file_ || !qv_flush_file(file_.get()))
        return false;
    const QV_path wanted = target;
    for (int attempt = 0; attempt < PUBLISH_ATTEMPTS && file_ && target.has_text(); ++attempt) {
        if (rename_held(file_.get(), target)) {
            file_.reset();
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return false;
        target = wanted.unique_name();  // numbered after the wanted name, never after a taken number
    }
    return false;
}

void QV_cab_reservation::discard()
{
    if (!file_)
        return;
    FILE_DISPOSITION_INFO dispose = {TRUE};
    qv_set_file_info(file_.get(), FileDispositionInfo, &dispose, sizeof dispose);
    file_.reset();
}
