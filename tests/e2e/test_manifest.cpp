// The manifest both builds carry, read back the way the system reads it when it
// starts them: through an activation context made from the program's own
// manifest resource. And the GUI build's box with what that manifest asks for.
#include "base/qv_unique.h"
#include "e2e_support.h"
#include "expected_usage.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <string>

namespace {

constexpr const wchar_t* SETTINGS_2005 = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";
constexpr const wchar_t* SETTINGS_2016 = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";

struct Actctx_traits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { ReleaseActCtx(h); }
};
using Actctx = QV_unique<Actctx_traits>;

std::wstring lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

// The context the system builds from the program's manifest resource; invalid
// when the program has none or the system rejects it.
Actctx program_context(const std::wstring& program)
{
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = program.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    return Actctx(CreateActCtxW(&request));
}

// A windowsSettings value as the system reads it; "<absent>" when it finds none.
std::wstring setting(HANDLE context, const wchar_t* name_space, const wchar_t* name)
{
    wchar_t value[256] = {};
    SIZE_T written = 0;
    if (!QueryActCtxSettingsW(0, context, name_space, name, value, 256, &written))
        return L"<absent>";
    return value;
}

// The encoded identity (name, then attributes) of every assembly the context
// resolved besides the program's own, joined by "|".
std::wstring dependencies(HANDLE context)
{
    std::wstring found;
    for (DWORD index = 2; index < 64; ++index) {
        alignas(ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION) BYTE info[4096] = {};
        SIZE_T written = 0;
        if (!QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, info, sizeof info,
                          &written))
            return found;
        auto* assembly = reinterpret_cast<ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(info);
        found += (found.empty() ? L"" : L"|") + std::wstring(assembly->lpAssemblyEncodedAssemblyIdentity);
    }
    return found;
}

TEST(Manifest, BothBuildsDeclareControlsDpiAndLongPaths)
{
    for (const std::wstring& program : {console_build(), gui_build()}) {
        SCOPED_TRACE(testing::PrintToString(program));
        Actctx context = program_context(program);
        ASSERT_TRUE(context.valid()) << "the system rejects the manifest: " << GetLastError();
        EXPECT_EQ(L"true/pm", setting(context.get(), SETTINGS_2005, L"dpiAware"));
        EXPECT_EQ(L"PerMonitorV2, PerMonitor", setting(context.get(), SETTINGS_2016, L"dpiAwareness"));
        EXPECT_EQ(L"true", setting(context.get(), SETTINGS_2016, L"longPathAware"));
        std::wstring found = dependencies(context.get());
        EXPECT_EQ(0u, found.find(L"Microsoft.Windows.Common-Controls,")) << testing::PrintToString(found);
        EXPECT_NE(std::wstring::npos, found.find(L"version=\"6.")) << testing::PrintToString(found);
        EXPECT_EQ(std::wstring::npos, found.find(L'|')) << testing::PrintToString(found);
    }
}

// The path of the common controls library that process pid has loaded; empty
// when it has none.
std::wstring controls_library(DWORD pid)
{
    QV_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = snapshot && Module32FirstW(snapshot.get(), &module); more;
         more = Module32NextW(snapshot.get(), &module)) {
        if (lower(module.szModule) == L"comctl32.dll")
            return module.szExePath;
    }
    return L"";
}

struct Box_run {
    DWORD exit_code = 0xFFFFFFFF;
    std::wstring library;  // the common controls library loaded while the box showed
    std::vector<QV_box> boxes;
};

// Starts the GUI build without arguments, waits for its usage box, notes which
// common controls library serves it, reads it and presses OK.
Box_run run_usage_box()
{
    Box_run run;
    std::wstring command_line = qv_command_line(gui_build(), {});
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return run;
    QV_handle process(started.hProcess), thread(started.hThread);
    for (int waited = 0; run.boxes.empty() && waited < 600; ++waited) {
        std::vector<HWND> shown = qv_find_boxes(started.dwProcessId);
        if (!shown.empty()) {
            run.library = controls_library(started.dwProcessId);
            run.boxes.push_back(qv_answer_box(shown.front()));
        } else if (WaitForSingleObject(process.get(), 100) == WAIT_OBJECT_0) {
            break;
        }
    }
    if (WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.get(), &run.exit_code);
    else
        TerminateProcess(process.get(), 2);
    return run;
}

// The box shows and reads back as before, drawn by version 6 of the common
// controls (loaded from its side-by-side assembly, not the system folder's copy).
TEST(Manifest, GuiBoxIsServedByCommonControls6)
{
    Box_run run = run_usage_box();
    // Wine's rare failed start: exit 1, no box, nothing done.
    if (run.exit_code == 1 && run.boxes.empty())
        run = run_usage_box();
    EXPECT_EQ(0u, run.exit_code);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(L"VlmKdShell.exe", run.boxes[0].caption);
    EXPECT_EQ(widen_ascii(EXPECTED_USAGE_GUI), run.boxes[0].text);
    EXPECT_NE(std::wstring::npos, lower(run.library).find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."))
        << testing::PrintToString(run.library);
}

} // namespace
