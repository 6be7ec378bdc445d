#include "base/qv_tree_delete.h"

#include "base/qv_exact_file.h"
#include "base/qv_os.h"
#include "base/qv_path.h"
#include "base/qv_unique.h"

#include <winternl.h>

#include <new>
#include <string>
#include <vector>

void (*qv_delete_tree_listed)(const wchar_t* folder_path) = nullptr;

namespace {

constexpr ULONG SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Never through a link; with the backup intent an administrator reaches any entry.
constexpr ULONG AS_ITSELF = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT;
// The id a folder's listing shows, asked of a handle: cheap everywhere (the id by
// FileIdInfo costs a volume look-up per call under Wine).
constexpr ULONG FILE_ID_BY_HANDLE = FileInternalInformation;
// FileDispositionInfoEx with its delete and POSIX flags (Windows 10): the name goes
// at once, even while another program holds the file open with delete sharing.
constexpr auto DISPOSITION_EX = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD DELETE_POSIX = 0x1 | 0x2;
constexpr DWORD SETTABLE_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                                      | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE
                                      | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr size_t LISTING_BYTES = 64 * 1024;

bool is_link(DWORD attributes)
{
    return attributes & FILE_ATTRIBUTE_REPARSE_POINT;
}

bool is_folder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !is_link(attributes);
}

DWORD last_error_or(DWORD fallback)
{
    DWORD error = GetLastError();
    return error ? error : fallback;
}

bool is_dot_entry(const wchar_t* name, size_t length)
{
    return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

std::wstring without_trailing_separators(const wchar_t* text)
{
    std::wstring result = text ? text : L"";
    while (result.size() > 1 && result.back() == L'\\')
        result.pop_back();
    return result;
}

// An entry as its folder's listing, or a handle on it, shows it.
struct Entry {
    std::wstring name;
    LONGLONG id = 0;
    DWORD attributes = 0;
};

// A folder entered and not yet left: its handle, for listing and for opening its
// entries; what that handle showed; its entries as listed.
struct Folder {
    QV_file handle;
    Entry self;
    std::wstring name;  // as the system names it from its volume's root
    std::vector<Entry> entries;
    size_t next;
    size_t path_length;
    bool kept;  // something in it stayed, so it stays too
};

// What a handle shows: its attributes (a reparse point's own only when the system
// opened the link itself) and its file id.
DWORD look(HANDLE file, Entry& seen)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!qv_file_info(file, FileAttributeTagInfo, &tag, sizeof tag))
        return last_error_or(ERROR_ACCESS_DENIED);
    LARGE_INTEGER id{};
    if (!qv_query_file(file, &id, sizeof id, FILE_ID_BY_HANDLE))
        return last_error_or(ERROR_ACCESS_DENIED);
    seen.attributes = tag.FileAttributes;
    seen.id = id.QuadPart;
    return ERROR_SUCCESS;
}

// The system's name of an entry of the folder it names parent.
std::wstring child_name(const std::wstring& parent, const std::wstring& name)
{
    return parent + (parent.empty() || parent.back() != L'\\' ? L"\\" : L"") + name;
}

bool set_attributes(HANDLE file, DWORD attributes)
{
    FILE_BASIC_INFO info{};  // times of 0 stay as they are
    info.FileAttributes = (attributes & SETTABLE_ATTRIBUTES) ? attributes & SETTABLE_ATTRIBUTES : FILE_ATTRIBUTE_NORMAL;
    return qv_set_file_info(file, FileBasicInfo, &info, sizeof info);
}

// The folder that holds the root is where its path leads, links on the way
// included; the root is then opened in it as any entry of a tree is, and checked
// by what its handle shows and by the name the system gives it (own).
DWORD open_root(const std::wstring& long_path, size_t cut, QV_file& handle, Entry& seen, std::wstring& own)
{
    std::wstring parent_name, name = long_path.substr(cut + 1);
    QV_file parent(qv_create_file(long_path.substr(0, cut + 1).c_str(), FILE_TRAVERSE | SYNCHRONIZE, SHARE_ALL,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent || !qv_name_by_handle(parent.get(), parent_name))
        return last_error_or(ERROR_PATH_NOT_FOUND);
    handle.reset(qv_open_relative(parent.get(), name.c_str(), name.size(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  SHARE_ALL, FILE_OPEN, AS_ITSELF));
    if (!handle)
        return last_error_or(ERROR_FILE_NOT_FOUND);
    if (DWORD error = look(handle.get(), seen))
        return error;
    own = child_name(parent_name, name);
    if (qv_handle_named(handle.get(), own))
        return ERROR_SUCCESS;
    // A root typed by its short name: the system names it by its long one. The
    // long form comes from the listing, which names a link itself, never its target.
    QV_path typed(qv_plain_path(QV_string(long_path.c_str())).c_str());
    std::wstring long_name = typed.long_path().file_name().c_str();
    own = child_name(parent_name, long_name);
    return long_name != name && qv_handle_named(handle.get(), own) ? ERROR_SUCCESS : ERROR_CANT_ACCESS_FILE;
}

class Removal {
public:
    Removal(QV_progress* progress, bool files_only) : progress_(progress), files_only_(files_only) {}
    DWORD run(const QV_string& root, QV_string* stayed_path);

private:
    void start(const QV_string& root);
    void step();
    void visit(const Entry& listed);
    void enter(QV_file handle, const Entry& seen, std::wstring name);
    void leave();
    DWORD list(HANDLE folder, std::vector<Entry>& entries);
    DWORD remove(HANDLE checked, const Entry& seen);
    DWORD dispose(HANDLE file);
    void removed_or_stays(DWORD error);
    void stay(DWORD error);

    std::wstring path_;          // the current entry's plain path
    std::vector<Folder> stack_;  // the folders entered and not yet left, root first
    std::vector<LONGLONG> listing_ = std::vector<LONGLONG>(LISTING_BYTES / sizeof(LONGLONG));
    DWORD error_ = ERROR_SUCCESS;
    std::wstring stayed_;
    bool posix_ = true;  // until the system turns the POSIX disposition down
    QV_progress* progress_;
    bool files_only_;  // a folder root is refused, not walked
    ULONGLONG removed_ = 0;
    std::wstring root_;  // plain: what stays when the removal is stopped
};

DWORD Removal::run(const QV_string& root, QV_string* stayed_path)
{
    start(root);
    while (!stack_.empty())
        step();
    if (error_ != ERROR_SUCCESS && stayed_path)
        *stayed_path = QV_string(stayed_.c_str());
    return error_;
}

void Removal::start(const QV_string& root)
{
    path_ = without_trailing_separators(qv_plain_path(root).c_str());
    root_ = path_;
    std::wstring long_path = without_trailing_separators(qv_extended_path(root).c_str());
    size_t cut = long_path.rfind(L'\\');
    if (path_.empty() || long_path.find_first_of(L"*?", 4) != std::wstring::npos || cut == std::wstring::npos)
        return stay(ERROR_INVALID_NAME);  // a pattern would look up another entry
    QV_file handle;
    Entry seen;
    std::wstring own;
    if (DWORD error = open_root(long_path, cut, handle, seen, own))
        return stay(error);
    if (is_folder(seen.attributes) && files_only_)
        return stay(ERROR_ACCESS_DENIED);
    if (is_folder(seen.attributes))
        return enter(static_cast<QV_file&&>(handle), seen, static_cast<std::wstring&&>(own));
    removed_or_stays(remove(handle.get(), seen));
}

// One entry of the innermost folder, or leaving it once all were visited.
void Removal::step()
{
    Folder& top = stack_.back();
    if (top.next == top.entries.size())
        return leave();
    Entry listed = static_cast<Entry&&>(top.entries[top.next++]);
    path_.resize(top.path_length);
    path_ += L'\\';
    path_ += listed.name;
    visit(listed);
}

// Opened relative to its folder, for its attributes only, and acted on only when
// the handle shows what the listing showed.
void Removal::visit(const Entry& listed)
{
    bool link = is_link(listed.attributes), folder = is_folder(listed.attributes);
    ULONG options = AS_ITSELF | (link ? 0 : folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
    ACCESS_MASK access = FILE_READ_ATTRIBUTES | (folder ? FILE_LIST_DIRECTORY : 0);
    QV_file handle(qv_open_relative(stack_.back().handle.get(), listed.name.c_str(), listed.name.size(), access,
                                    SHARE_ALL, FILE_OPEN, options));
    if (!handle)
        return stay(last_error_or(ERROR_ACCESS_DENIED));
    Entry seen;
    if (DWORD error = look(handle.get(), seen))
        return stay(error);
    if (seen.id != listed.id || (is_link(seen.attributes) && !link))
        return stay(ERROR_CANT_ACCESS_FILE);  // not the entry that was listed
    if (link && !is_link(seen.attributes))
        return stay(ERROR_NOT_A_REPARSE_POINT);  // the system opened what the link points to
    // A link the listing shows as a plain file (Wine) is followed by every open:
    // the handle then names the target, elsewhere.
    std::wstring name = child_name(stack_.back().name, listed.name);
    if (!qv_handle_named(handle.get(), name))
        return stay(ERROR_CANT_ACCESS_FILE);
    if (folder)
        return enter(static_cast<QV_file&&>(handle), seen, static_cast<std::wstring&&>(name));
    removed_or_stays(remove(handle.get(), seen));
}

// The folder is listed whole before any of its entries is opened.
void Removal::enter(QV_file handle, const Entry& seen, std::wstring name)
{
    std::vector<Entry> entries;
    if (DWORD error = list(handle.get(), entries))
        return stay(error);
    if (qv_delete_tree_listed)
        qv_delete_tree_listed(path_.c_str());
    stack_.push_back({static_cast<QV_file&&>(handle), seen, static_cast<std::wstring&&>(name),
                      static_cast<std::vector<Entry>&&>(entries), 0, path_.size(), false});
}

// A folder whose entries all went goes too; one that keeps any keeps its own folder.
void Removal::leave()
{
    Folder top = static_cast<Folder&&>(stack_.back());
    stack_.pop_back();
    path_.resize(top.path_length);
    if (top.kept) {
        if (!stack_.empty())
            stack_.back().kept = true;
        return;
    }
    removed_or_stays(remove(top.handle.get(), top.self));
}

// Every entry of the folder, through its handle; any failure but the end of the
// listing is the folder's.
DWORD Removal::list(HANDLE folder, std::vector<Entry>& entries)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(listing_.data());
    while (qv_file_info(folder, FileIdBothDirectoryInfo, listing_.data(), LISTING_BYTES)) {
        for (size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
            size_t length = info->FileNameLength / sizeof(wchar_t);
            if (!is_dot_entry(info->FileName, length))
                entries.push_back({std::wstring(info->FileName, length), info->FileId.QuadPart, info->FileAttributes});
            if (info->NextEntryOffset == 0)
                break;
            offset += info->NextEntryOffset;
        }
    }
    DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : (error ? error : ERROR_READ_FAULT);
}

// The checked entry, opened again through its own handle (the same file, wherever
// its name leads by now) for deletion, and removed by its disposition.
DWORD Removal::remove(HANDLE checked, const Entry& seen)
{
    bool read_only = seen.attributes & FILE_ATTRIBUTE_READONLY;
    ACCESS_MASK access = DELETE | (read_only ? FILE_WRITE_ATTRIBUTES : 0);
    QV_file handle(qv_open_relative(checked, L"", 0, access, SHARE_ALL, FILE_OPEN, AS_ITSELF));
    if (!handle)
        return last_error_or(ERROR_ACCESS_DENIED);
    if (read_only && !set_attributes(handle.get(), seen.attributes & ~FILE_ATTRIBUTE_READONLY))
        return last_error_or(ERROR_ACCESS_DENIED);
    DWORD error = dispose(handle.get());
    if (error != ERROR_SUCCESS && read_only)
        set_attributes(handle.get(), seen.attributes);
    return error;
}

DWORD Removal::dispose(HANDLE file)
{
    if (posix_) {
        DWORD flags = DELETE_POSIX;
        if (qv_set_file_info(file, DISPOSITION_EX, &flags, sizeof flags))
            return ERROR_SUCCESS;
        DWORD error = last_error_or(ERROR_ACCESS_DENIED);
        if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION)
            return error;
        posix_ = false;  // a system or volume without it: the classic disposition from now on
    }
    FILE_DISPOSITION_INFO info{TRUE};
    return qv_set_file_info(file, FileDispositionInfo, &info, sizeof info) ? ERROR_SUCCESS
                                                                           : last_error_or(ERROR_ACCESS_DENIED);
}

// A removal is a step of the progress; a stop there ends the walk, leaving every
// folder still entered, and what is in them, where it is.
void Removal::removed_or_stays(DWORD error)
{
    if (error != ERROR_SUCCESS)
        return stay(error);
    if (!progress_)
        return;
    bool stop = progress_->step(++removed_) == ERROR_CANCELLED;
    if (!stop || stack_.empty())  // the root itself went last: nothing stays
        return;
    stack_.clear();
    error_ = ERROR_CANCELLED;
    stayed_ = root_;
}

// The entry at path_ stays; so does the folder that holds it.
void Removal::stay(DWORD error)
{
    if (error_ == ERROR_SUCCESS) {
        error_ = error;
        stayed_ = path_;
    }
    if (!stack_.empty())
        stack_.back().kept = true;
}

} // namespace

DWORD qv_delete_tree(const QV_string& root, QV_string* stayed_path, QV_progress* progress) noexcept
{
    try {
        return Removal(progress, false).run(root, stayed_path);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD qv_delete_one_file(const QV_string& path) noexcept
{
    try {
        return Removal(nullptr, true).run(path, nullptr);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
