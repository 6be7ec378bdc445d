// The extension object: initialised with a data object, invoked with a verb.

#include "qv_sim_desktop.h"

#include "base/qv_unique.h"

#include <shlobj.h>

#include <new>

namespace {

std::wstring verb_text(LPCSTR verb)
{
    if (IS_INTRESOURCE(verb))
        return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(verb));
    int size = MultiByteToWideChar(CP_ACP, 0, verb, -1, nullptr, 0);
    std::wstring text(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, verb, -1, text.data(), size);
    text.resize(text.size() - 1);
    return text;
}

class Sim_desktop_extension final : public IShellExtInit, public IContextMenu {
public:
    explicit Sim_desktop_extension(const Sim_desktop_answers& answers) : answers_(answers) {}
    ~Sim_desktop_extension()
    {
        if (answers_.keep_reference && data_)
            sim_desktop_keep(QV_com_ptr<IDataObject>(data_).detach());
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IShellExtInit)
            *out = static_cast<IShellExtInit*>(this);
        else if (iid == IID_IContextMenu && !answers_.no_context_menu)
            *out = static_cast<IContextMenu*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&count_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&count_);
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Initialize(LPCITEMIDLIST folder, IDataObject* data, HKEY key) override
    {
        sim_desktop_record({L"Initialize", folder ? L"set" : L"null", data ? L"set" : L"null", key ? L"set" : L"null"});
        if (!data)
            return E_INVALIDARG;
        data_.copy_from(data);
        sim_desktop_read_data_object(data);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override
    {
        if (!info)
            return E_INVALIDARG;
        std::wstring verb = verb_text(info->lpVerb);
        sim_desktop_record({L"InvokeCommand", verb, std::to_wstring(info->cbSize)});
        std::vector<std::wstring> paths;
        if (verb == L"VlmKdAttachmentEdit" && data_ && SUCCEEDED(sim_desktop_drop_paths(data_.get(), paths)))
            for (const std::wstring& path : paths)
                sim_desktop_record({L"edit", path});
        return answers_.invoke_result;
    }
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) override { return E_NOTIMPL; }

private:
    LONG count_ = 1;
    Sim_desktop_answers answers_;
    QV_com_ptr<IDataObject> data_;
};

IDataObject* g_kept = nullptr;

} // namespace

HRESULT sim_desktop_create(REFIID iid, void** out)
{
    auto* extension = new (std::nothrow) Sim_desktop_extension(sim_desktop_read_answers());
    if (!extension)
        return E_OUTOFMEMORY;
    HRESULT result = extension->QueryInterface(iid, out);
    extension->Release();
    return result;
}

void sim_desktop_keep(IDataObject* data)
{
    g_kept = data;
}

void sim_desktop_use_kept()
{
    if (!g_kept)
        return;
    FORMATETC wanted{static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_SHELLIDLIST)), nullptr,
                     DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    sim_desktop_record({L"kept", L"QueryGetData", sim_desktop_hex(g_kept->QueryGetData(&wanted))});
    // The count is the point here, so the reference goes back by hand.
    ULONG left = std::exchange(g_kept, nullptr)->Release();
    sim_desktop_record({L"kept", L"Release", std::to_wstring(left)});
}
