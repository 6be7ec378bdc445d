// -openattachment: hands one file to the desktop integration, which opens it for
// editing. Every failure ends silently: what the user sees comes from the extension;
// a failed creation or invocation leaves a trace record.

#include "shell/dx_shell_commands.h"

#include "base/qv_os_process.h"
#include "base/qv_paths.h"
#include "base/qv_unique.h"
#include "com/dx_data_object.h"
#include "shell/dx_desktop_integration.h"
#include "trace/qv_trace.h"

#include <shlobj.h>

#include <new>

namespace {

static_assert(sizeof(CMINVOKECOMMANDINFO) == 56);

void initialize(IUnknown* extension, IDataObject* data)
{
    QV_com_ptr<IShellExtInit> init;
    if (SUCCEEDED(extension->QueryInterface(IID_IShellExtInit, init.put_void())) && init)
        init->Initialize(nullptr, data, nullptr);
}

void invoke_edit(IUnknown* extension)
{
    QV_com_ptr<IContextMenu> menu;
    if (FAILED(extension->QueryInterface(IID_IContextMenu, menu.put_void())) || !menu)
        return;
    QV_string verb(DX_ATTACHMENT_EDIT_VERB);
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = verb.narrow();
    HRESULT result = qv_component_call([&] { return menu->InvokeCommand(&info); });
    if (FAILED(result))
        qv_trace_printf(L"dx_di_invoke_command", L"Failed to invoke the edit verb: %08X\n", result);
}

void open_attachment(const wchar_t* path)
{
    // Absolute: the extension may work from another folder than ours.
    QV_paths paths;
    paths.add(QV_path(path).full_path());
    // On the heap, given up with Release: the extension may keep a reference.
    QV_com_ptr<IDataObject> data;
    data.attach(new (std::nothrow) DX_data_object(paths));
    qv_trace_enter(L"dx_di_invoke_command", 0);
    if (!data)
        return;
    QV_com_ptr<IUnknown> extension;
    HRESULT created = qv_create_instance(CLSID_DxDesktopIntegration, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                         extension.put_void());
    if (FAILED(created) || !extension) {
        qv_trace_printf(L"dx_di_invoke_command", L"Failed to create the desktop integration: %08X\n", created);
        return;
    }
    initialize(extension.get(), data.get());
    invoke_edit(extension.get());
}

} // namespace

void dx_shell_open_attachment(bool, const wchar_t* path)
{
    // Running out of memory ends the command as silently as any other failure.
    try {
        open_attachment(path);
    } catch (const std::bad_alloc&) {
    }
}
