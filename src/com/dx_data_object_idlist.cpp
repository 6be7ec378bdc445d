// The "Shell IDList Array" payload: the common parent folder's absolute ID list
// and each path's ID list relative to it, behind a count and a table of offsets.

#include "com/dx_data_object.h"

#include "base/qv_unique.h"
#include "trace/qv_trace.h"

#include <shlobj.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace {

// Characters of folder that equal path's leading ones, case ignored.
unsigned equal_prefix(const wchar_t* folder, unsigned folder_length, const wchar_t* path, unsigned path_length)
{
    unsigned i = 0;
    unsigned shorter = folder_length < path_length ? folder_length : path_length;
    while (i < shorter && std::towlower(folder[i]) == std::towlower(path[i]))
        ++i;
    return i;
}

// The folder narrowed to the part it shares with path, at a component boundary of both.
std::wstring narrow_to(const std::wstring& folder, const QV_path& path)
{
    unsigned length = path.length();
    unsigned i = equal_prefix(folder.c_str(), static_cast<unsigned>(folder.size()), path.c_str(), length);
    wchar_t folder_next = i < folder.size() ? folder[i] : L'\0';
    wchar_t path_next = i < length ? path.c_str()[i] : L'\0';
    std::wstring cut = folder.substr(0, i);
    bool boundary = (folder_next == L'\0' && (path_next == L'\0' || path_next == L'\\'))
                    || (folder_next == L'\\' && path_next == L'\0');
    if (boundary)
        return cut;
    size_t last = cut.rfind(L'\\');
    return last == std::wstring::npos ? std::wstring() : cut.substr(0, last);
}

// One ID list parsed by folder from text; empty when the folder cannot parse it.
QV_idlist parse(IShellFolder* folder, std::wstring text)
{
    LPITEMIDLIST list = nullptr;
    if (FAILED(folder->ParseDisplayName(nullptr, nullptr, text.data(), nullptr, &list, nullptr)))
        return QV_idlist();
    return QV_idlist(list);
}

// The folder's own shell object and its absolute ID list.
bool open_folder(const QV_path& folder, QV_com_ptr<IShellFolder>& shell_folder, QV_idlist& absolute)
{
    QV_com_ptr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.put())) || !desktop)
        return false;
    absolute = parse(desktop.get(), folder.c_str());
    if (!absolute)
        return false;
    HRESULT result = desktop->BindToObject(absolute.get(), nullptr, IID_IShellFolder, shell_folder.put_void());
    return SUCCEEDED(result) && shell_folder;
}

// Writes the list's offset at its index in the table and the list (with its two
// zero bytes, already there in the zero-filled block) at offset.
void put_list(unsigned char* block, UINT index, UINT& offset, const QV_idlist& list)
{
    unsigned size = qv_idlist_size(list.get());
    std::memcpy(block + 4 + 4 * index, &offset, 4);
    std::memcpy(block + offset, list.get(), size);
    offset += size + 2;
}

void lay_out(unsigned char* block, const QV_idlist& parent, const std::vector<QV_idlist>& items)
{
    UINT count = static_cast<UINT>(items.size());
    UINT offset = 4 * count + 8;
    std::memcpy(block, &count, 4);
    put_list(block, 0, offset, parent);
    for (UINT k = 0; k < count; ++k)
        put_list(block, k + 1, offset, items[k]);
}

size_t block_size(const QV_idlist& parent, const std::vector<QV_idlist>& items)
{
    size_t size = 8 + 4 * items.size() + qv_idlist_size(parent.get()) + 2;
    for (const QV_idlist& item : items)
        size += qv_idlist_size(item.get()) + 2;
    return size;
}

} // namespace

QV_path DX_data_object::common_parent(const QV_paths& paths)
{
    if (paths.empty())
        return QV_path();
    std::wstring first = paths.front().c_str();
    size_t last = first.rfind(L'\\');
    std::wstring folder = last == std::wstring::npos ? first : first.substr(0, last);
    for (auto path = std::next(paths.begin()); path != paths.end() && !folder.empty(); ++path)
        folder = narrow_to(folder, *path);
    if (folder.size() >= 2 && folder.back() == L':')
        folder += L'\\';
    return QV_path(folder.c_str());
}

bool DX_data_object::build_idlist_array()
{
    qv_trace_enter(L"DX_data_object::build_idlist_array", 0);
    paths_.free_slot(QV_paths::idlist_array_slot);
    for (QV_path folder = common_parent(paths_); folder.has_text(); folder = folder.parent()) {
        if (build_idlist_block(folder))
            return true;
    }
    return false;
}

bool DX_data_object::build_idlist_block(const QV_path& folder)
{
    QV_com_ptr<IShellFolder> shell_folder;
    QV_idlist parent;
    if (!open_folder(folder, shell_folder, parent))
        return false;
    unsigned length = folder.length();
    if (length >= 2 && folder.c_str()[length - 1] == L'\\')
        --length;
    std::vector<QV_idlist> items;
    for (const QV_path& path : paths_) {
        // The relative name starts after the folder and one separator; a path
        // that ends there (the folder itself) has none, and a parent may.
        if (path.length() <= length + 1 || path.c_str()[length] != L'\\')
            return false;
        items.push_back(parse(shell_folder.get(), path.c_str() + length + 1));
        if (!items.back())
            return false;
    }
    size_t size = block_size(parent, items);
    lay_out(static_cast<unsigned char*>(paths_.fill_slot(QV_paths::idlist_array_slot, size)), parent, items);
    return true;
}
