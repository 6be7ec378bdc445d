// -force_uninstall against the installed package: it removes the product through
// the system installer and does not wait for it. The package goes away for the
// whole prefix, so this suite runs on its own (ctest entry e2e_force_uninstall,
// RUN_SERIAL) and installs the package again at its end.

#include "e2e_support.h"
#include "qv_test_registry.h"

#include <gtest/gtest.h>

#include <msi.h>
#include <tlhelp32.h>

#include <string>

namespace {

const wchar_t PRODUCT[] = L"{5A1E7C20-3B9D-4E61-8F02-C7D4A9B31E58}";
const wchar_t DRIVER_CLASS[] = L"CLSID\\{ED879E56-2DB1-417E-A2BD-4EC21760E596}";

bool installed()
{
    return MsiQueryProductStateW(PRODUCT) == INSTALLSTATE_DEFAULT;
}

bool installer_running()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szExeFile, L"msiexec.exe") == 0;
    CloseHandle(snapshot);
    return found;
}

bool class_registered()
{
    return qv_key_exists(HKEY_CLASSES_ROOT, DRIVER_CLASS);
}

// The installer is not waited for by the program: wait here until it has removed the product.
void wait_until_removed()
{
    ULONGLONG end = GetTickCount64() + 60000;
    while ((installed() || installer_running()) && GetTickCount64() < end)
        Sleep(100);
}

// Installs the package again however the test ended, so the suites after it find the product.
struct Reinstall {
    ~Reinstall()
    {
        for (int attempt = 0; attempt < 100 && installer_running(); ++attempt)
            Sleep(100);
        if (!installed())
            qv_run_child(qv_command_line(L"msiexec", {L"/i", qv_sibling_path(L"VlmKd.msi"), L"/qn"}));
        EXPECT_TRUE(installed()) << "the package could not be installed again";
    }
};

TEST(ForceUninstallInstalled, RemovesTheProductThroughTheInstaller)
{
    ASSERT_TRUE(installed());
    Reinstall reinstall;
    QV_run_result run = qv_run_child(qv_command_line(console_build(), {L"-force_uninstall"}));
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ("", run.out);
    EXPECT_TRUE(run.boxes.empty());

    wait_until_removed();
    EXPECT_FALSE(installed());
    EXPECT_FALSE(installer_running());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(console_build().c_str()));
    EXPECT_FALSE(class_registered());
}

// The other half of EveryOption.ReachesItsCommandInBothBuilds: both uninstall
// options in both builds, none showing the usage text.
TEST(ForceUninstallInstalled, BothOptionsReachTheirCommandInBothBuilds)
{
    for (const wchar_t* option : {L"-force_uninstall", L"-force_uninstall_no_elevate"}) {
        for (bool gui : {false, true}) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(option)) + (gui ? " GUI build" : " console build"));
            ASSERT_TRUE(installed());
            Reinstall reinstall;
            QV_run_result run = gui ? run_gui({option}) : run_console({option});
            EXPECT_EQ(0u, run.exit_code);
            EXPECT_EQ("", run.out);
            EXPECT_TRUE(run.boxes.empty());
            wait_until_removed();
            EXPECT_FALSE(installed());
        }
    }
}

} // namespace
