#pragma once
// The reference-counting base of the program's own COM objects. It answers
// IUnknown and IClassFactory, traces every reference change and interface
// request, and deletes the object through its virtual destructor when the last
// reference goes. The count starts at 1, held by the creator.
//
// A class that derives from QV_com and from another interface puts that
// interface first and overrides QueryInterface, AddRef and Release once: the
// override serves both bases, so every interface pointer of the object shares
// this one count. Its QueryInterface asks QV_com::QueryInterface by name (never
// through the virtual slot, which would call the override again).

#include <unknwn.h>

class QV_com : public IClassFactory {
public:
    QV_com();
    virtual ~QV_com();
    QV_com(const QV_com&) = delete;
    QV_com& operator=(const QV_com&) = delete;

    // IUnknown and IClassFactory give this part; a null out pointer is E_POINTER.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // The factory hands out itself, never a new instance.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

protected:
    // QueryInterface of a derived object, traced under its own name: this part's
    // answer first, then own_iid gives own (with a reference added).
    HRESULT query_derived(const wchar_t* trace_name, REFIID iid, void** out, REFIID own_iid, IUnknown* own);

private:
    volatile LONG count_ = 1;
};
