#include "com/dx_data_object.h"

#include "base/qv_unique.h"
#include "com/dx_enum_format.h"
#include "trace/qv_trace.h"

#include <shlobj.h>

#include <cstring>
#include <new>

const CLIPFORMAT dx_cf_shell_idlist_array = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Shell IDList Array"));

namespace {

constexpr UINT PAYLOAD_FLAGS = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE;  // 0x2042
constexpr DWORD DROPFILES_SIZE = sizeof(DROPFILES);
static_assert(DROPFILES_SIZE == 20);

// A new global block of head followed by body, handed to medium. Nothing is
// handed on when the block cannot be had.
HRESULT give_block(STGMEDIUM* medium, const void* head, size_t head_bytes, const void* body, size_t body_bytes)
{
    QV_global block(GlobalAlloc(PAYLOAD_FLAGS, head_bytes + body_bytes));
    if (!block)
        return STG_E_MEDIUMFULL;
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block.get()));
    if (!bytes)
        return STG_E_MEDIUMFULL;
    if (head_bytes)
        std::memcpy(bytes, head, head_bytes);
    if (body_bytes)
        std::memcpy(bytes + head_bytes, body, body_bytes);
    GlobalUnlock(block.get());
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block.release();
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT not_implemented(const wchar_t* method)
{
    qv_trace_enter(method, 0, L"E_NOTIMPL");
    return E_NOTIMPL;
}

} // namespace

DX_data_object::DX_data_object(const QV_paths& paths) : paths_(paths)
{
    qv_trace_enter(L"DX_data_object::DX_data_object", 0);
}

DX_data_object::~DX_data_object()
{
    qv_trace_enter(L"DX_data_object::~DX_data_object", 0);
}

HRESULT STDMETHODCALLTYPE DX_data_object::QueryInterface(REFIID iid, void** out)
{
    return query_derived(L"DX_data_object::QueryInterface", iid, out, IID_IDataObject,
                         static_cast<IDataObject*>(this));
}

HRESULT STDMETHODCALLTYPE DX_data_object::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!format || !medium)
        return E_INVALIDARG;
    if (format->cfFormat != dx_cf_shell_idlist_array && format->cfFormat != CF_HDROP)
        return DV_E_FORMATETC;
    if (format->tymed != TYMED_HGLOBAL)
        return DV_E_TYMED;
    // The payloads are built before the medium is filled: running out of memory
    // on the way leaves the medium as it came.
    try {
        return format->cfFormat == CF_HDROP ? get_drop_files(medium) : get_idlist_array(medium);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT DX_data_object::get_idlist_array(STGMEDIUM* medium)
{
    // A zero-length block would be read as an item count: no array, no medium.
    if (!build_idlist_array())
        return E_FAIL;
    return give_block(medium, nullptr, 0, paths_.slot_data(QV_paths::idlist_array_slot),
                      paths_.slot_size(QV_paths::idlist_array_slot));
}

HRESULT DX_data_object::get_drop_files(STGMEDIUM* medium)
{
    const wchar_t* list = paths_.file_list();
    DROPFILES header{};
    header.pFiles = DROPFILES_SIZE;
    GetCursorPos(&header.pt);
    header.fNC = TRUE;
    header.fWide = TRUE;
    return give_block(medium, &header, DROPFILES_SIZE, list, paths_.slot_size(QV_paths::file_list_slot));
}

HRESULT STDMETHODCALLTYPE DX_data_object::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return not_implemented(L"DX_data_object::GetDataHere");
}

HRESULT STDMETHODCALLTYPE DX_data_object::QueryGetData(FORMATETC* format)
{
    qv_trace_enter(L"DX_data_object::QueryGetData", 0);
    if (format && format->cfFormat == dx_cf_shell_idlist_array && format->tymed == TYMED_HGLOBAL)
        return S_OK;
    return E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE DX_data_object::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*)
{
    return not_implemented(L"DX_data_object::GetCanonicalFormatEtc");
}

HRESULT STDMETHODCALLTYPE DX_data_object::SetData(FORMATETC*, STGMEDIUM*, BOOL)
{
    qv_trace_enter(L"DX_data_object::SetData", 0, L"DV_E_FORMATETC");
    return DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE DX_data_object::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out)
{
    qv_trace_enter(L"DX_data_object::EnumFormatEtc", 0);
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const FORMATETC offered[] = {
        {dx_cf_shell_idlist_array, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
        {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
    };
    QV_com_ptr<IEnumFORMATETC> formats;
    auto* created = new (std::nothrow) DX_enum_format(2, offered);
    formats.attach(created);
    if (!created || !created->holds(2))
        return E_OUTOFMEMORY;
    return formats->QueryInterface(IID_IEnumFORMATETC, reinterpret_cast<void**>(out));
}

HRESULT STDMETHODCALLTYPE DX_data_object::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return not_implemented(L"DX_data_object::DAdvise");
}

HRESULT STDMETHODCALLTYPE DX_data_object::DUnadvise(DWORD)
{
    return not_implemented(L"DX_data_object::DUnadvise");
}

HRESULT STDMETHODCALLTYPE DX_data_object::EnumDAdvise(IEnumSTATDATA**)
{
    return not_implemented(L"DX_data_object::EnumDAdvise");
}
