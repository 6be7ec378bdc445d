// -perform_version_self_test: every installed module must carry the version this
// program carries, every driver its own fixed version. The console build lists
// each failure; the GUI build shows one summary box.

#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_output.h"
#include "shell/dx_shell_version.h"
#include "base/qv_message_box.h"
#include "base/qv_version.h"
#include "trace/qv_trace.h"

#include <shlobj.h>

#include <map>

namespace {

const wchar_t* const INSTALLED_MODULES[] = {
    L"VlmResource.dll", L"VlmKdAutomation.dll", L"VlmKdCore.exe", L"VlmKdCoreService.exe",
    L"VlmKdDesktopIntegration.dll", L"VlmKdDriverCom.dll", L"VlmKdLocalProvider.dll", L"VlmKdTqProvider.dll",
    L"VlmKdPolicyEnforcer.dll", L"VlmKdPostInstall.dll", L"VlmKdProviderManager.dll", L"VlmKdProxy.exe",
    L"VlmKdSelfExtractorStub.exe", L"VlmKdShell.com", L"VlmKdShell.exe", L"VlmKdTray.dll",
    L"VlmKdTrayPlugin.dll", L"VlmKdConsole.exe", L"VlmAuthProvider.dll", L"VlmKdProviderManagerProxy.dll",
    L"VlmKdProviderProxy.dll", L"VlmKdProxy32.exe", L"VlmCvRM.exe",
};

struct Driver_expectation {
    const wchar_t* path;  // below the system folder
    const wchar_t* version;
};

const Driver_expectation DRIVERS[] = {
    {L"Drivers\\VlmCvKD.sys", L"1, 0, 0, 48"},   {L"Drivers\\VlmCvKDCd.sys", L"1, 0, 0, 18"},
    {L"Drivers\\VlmCvKDV.sys", L"1, 0, 0, 17"},  {L"Drivers\\VlmCvRM.sys", L"1, 0, 0, 22"},
    {L"Drivers\\VlmCvKDL.sys", L"1, 0, 0, 18"},  {L"Drivers\\VlmFastFatPlus.sys", L"1, 0, 0, 15"},
};

struct Path_order {
    bool operator()(const QV_path& a, const QV_path& b) const { return a.sorts_before(b); }
};

using Expectations = std::map<QV_path, QV_string, Path_order>;

struct Version_numbers {
    int part[4] = {};
    bool parse(const QV_string& text)
    {
        return qv_parse_file_version(text.c_str(), &part[0], &part[1], &part[2], &part[3]);
    }
    bool operator==(const Version_numbers& other) const = default;
};

void print(const QV_string& text)
{
    dx_shell_write_console(text.c_str());
}

Expectations expectations(const QV_string& own_version)
{
    Expectations expected;
    QV_path install_folder = QV_path(qv_module_handle()).parent();
    for (const wchar_t* module : INSTALLED_MODULES)
        expected[join(install_folder, module)] = own_version;
    QV_path system_folder(CSIDL_SYSTEM, FALSE);
    for (const Driver_expectation& driver : DRIVERS)
        expected[join(system_folder, driver.path)] = QV_string(driver.version);
    return expected;
}

// One module against its expectation; every failure is listed in the console build
// (the unreadable version in both builds).
bool module_passes(bool gui, const QV_path& module, const QV_string& expected)
{
    QV_string found;
    if (!dx_get_file_version(module, found)) {
        print(QV_stringf(L"FAILED: Unable to get version number of module %s\n", module.c_str()));
        return false;
    }
    Version_numbers want, have;
    if (!want.parse(expected)) {
        if (!gui)
            print(QV_stringf(L"FAILED: Unable to parse expected version string %s for module %s\n", expected.c_str(),
                             module.c_str()));
        return false;
    }
    if (!have.parse(found)) {
        if (!gui)
            print(QV_stringf(L"FAILED: Unable to parse version string %s for module %s\n", found.c_str(), module.c_str()));
        return false;
    }
    if (have == want)
        return true;
    if (!gui)
        print(QV_stringf(L"FAILED: Version of %s is %d, %d, %d, %d it should be %d, %d, %d, %d\n", module.c_str(),
                         have.part[0], have.part[1], have.part[2], have.part[3], want.part[0], want.part[1],
                         want.part[2], want.part[3]));
    return false;
}

void summarize(bool gui, bool passed)
{
    if (!gui && passed)
        print(L"PASSED: All modules have the right version\n");
    else if (gui && passed)
        qv_info_box(L"PASSED: All modules have the correct version", QV_PRODUCT_CAPTION, nullptr, nullptr);
    else if (gui)
        qv_error_box(L"FAILED: Something failed, please run the command line version to get more detailed information",
                     QV_PRODUCT_CAPTION, nullptr, nullptr);
}

} // namespace

bool dx_shell_version_self_test(bool gui)
{
    qv_trace_enter(L"dx_shell_version_self_test", 0);
    QV_string own_version = qv_get_file_version_string(qv_module_handle());
    if (own_version.is_null()) {
        if (!gui)
            print(L"FAILED: Unable to get module version of this module\n");
        return false;
    }
    Version_numbers own;
    if (!own.parse(own_version)) {
        if (!gui)
            print(QV_stringf(L"FAILED: Unable to parse version string %s\n", own_version.c_str()));
        return false;
    }
    bool passed = true;
    for (const auto& [module, expected] : expectations(own_version))
        passed = module_passes(gui, module, expected) && passed;
    summarize(gui, passed);
    return passed;
}
