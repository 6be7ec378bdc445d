#pragma once
// An IDataObject that presents a list of file-system paths to shell code the way
// a selection in the shell's own views would: as a "Shell IDList Array" (a parent
// folder and item ID lists relative to it) and as CF_HDROP. The payloads are
// built on every request and kept in the path list until the next one.
//
// Create it on the heap and give the creator's reference up with Release: a
// consumer may keep a reference of its own past the creator's scope.

#include "base/qv_paths.h"
#include "com/qv_com.h"

#include <objidl.h>

// The "Shell IDList Array" clipboard format, registered before WinMain.
extern const CLIPFORMAT dx_cf_shell_idlist_array;

class DX_data_object : public IDataObject, public QV_com {
public:
    explicit DX_data_object(const QV_paths& paths);
    ~DX_data_object() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return QV_com::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return QV_com::Release(); }

    // The receiver owns the global block it gets (no release object). E_OUTOFMEMORY
    // when a payload cannot be built for want of memory; the medium is then untouched.
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    // Only the ID-list format is admitted here, although GetData serves CF_HDROP too.
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) override;

    // The folder that holds every path of the list: the longest leading text,
    // compared without regard to case, that ends at a component boundary of all
    // of them (a bare drive made its root). Empty when there is none.
    static QV_path common_parent(const QV_paths& paths);

private:
    // The ID-list array for the list, kept in its slot; false when none can be built.
    bool build_idlist_array();
    // The array with folder as its parent; false when folder cannot hold every path.
    bool build_idlist_block(const QV_path& folder);
    HRESULT get_idlist_array(STGMEDIUM* medium);
    HRESULT get_drop_files(STGMEDIUM* medium);

    QV_paths paths_;
};
