// What the extension reads from the data object it is initialised with, read as
// any shell consumer reads it.

#include "qv_sim_desktop.h"

#include "base/qv_unique.h"

#include <shellapi.h>

namespace {

std::wstring format_name(CLIPFORMAT format)
{
    wchar_t name[128] = {};
    if (format >= 0xC000 && GetClipboardFormatNameW(format, name, 128) > 0)
        return name;
    return std::to_wstring(format);
}

CLIPFORMAT idlist_format()
{
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_SHELLIDLIST));
}

void journal_formats(IDataObject* data)
{
    QV_com_ptr<IEnumFORMATETC> formats;
    if (FAILED(data->EnumFormatEtc(DATADIR_GET, formats.put())) || !formats)
        return;
    FORMATETC record{};
    while (formats->Next(1, &record, nullptr) == S_OK) {
        sim_desktop_record({L"format", format_name(record.cfFormat), record.ptd ? L"set" : L"null",
                            std::to_wstring(record.dwAspect), std::to_wstring(record.lindex),
                            std::to_wstring(record.tymed)});
        CoTaskMemFree(record.ptd);
    }
}

void journal_query(IDataObject* data, CLIPFORMAT format)
{
    FORMATETC wanted{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    sim_desktop_record({L"query", format_name(format), sim_desktop_hex(data->QueryGetData(&wanted))});
}

// Each item's absolute path: the parent's list joined with the item's.
void journal_idlist_paths(const CIDA* array)
{
    auto parent = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(array) + array->aoffset[0]);
    for (UINT i = 0; i < array->cidl; ++i) {
        auto item = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(array) + array->aoffset[i + 1]);
        LPITEMIDLIST full = ILCombine(parent, item);
        wchar_t path[MAX_PATH] = {};
        bool found = full && SHGetPathFromIDListW(full, path);
        ILFree(full);
        sim_desktop_record({L"idlist", found ? path : L"(no path)"});
    }
}

void journal_idlist(IDataObject* data)
{
    FORMATETC wanted{idlist_format(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    HRESULT result = data->GetData(&wanted, &medium);
    if (FAILED(result)) {
        sim_desktop_record({L"idlist-failed", sim_desktop_hex(result)});
        return;
    }
    if (auto* array = static_cast<const CIDA*>(GlobalLock(medium.hGlobal))) {
        journal_idlist_paths(array);
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
}

void journal_hdrop(IDataObject* data)
{
    std::vector<std::wstring> paths;
    HRESULT result = sim_desktop_drop_paths(data, paths);
    if (FAILED(result))
        sim_desktop_record({L"hdrop-failed", sim_desktop_hex(result)});
    for (const std::wstring& path : paths)
        sim_desktop_record({L"hdrop", path});
}

} // namespace

void sim_desktop_read_data_object(IDataObject* data)
{
    journal_formats(data);
    journal_query(data, idlist_format());
    journal_query(data, CF_HDROP);
    journal_idlist(data);
    journal_hdrop(data);
}

HRESULT sim_desktop_drop_paths(IDataObject* data, std::vector<std::wstring>& paths)
{
    FORMATETC wanted{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    HRESULT result = data->GetData(&wanted, &medium);
    if (FAILED(result))
        return result;
    auto drop = static_cast<HDROP>(medium.hGlobal);
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(path);
    }
    ReleaseStgMedium(&medium);
    return result;
}
