// The version self-test against the installed product, and against copies of
// the install folder in a sandbox where single modules are broken on purpose.
// An installed driver is changed only for the length of one test and put back.

#include "e2e_support.h"
#include "qv_test_files.h"
#include "qv_version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t CAPTION[] = L"Velmora Orrisguard";
const std::string SHOULD_BE = std::to_string(QV_VERSION_MAJOR) + ", " + std::to_string(QV_VERSION_MINOR) + ", "
                              + std::to_string(QV_VERSION_PATCH) + ", " + std::to_string(QV_VERSION_BUILD);

std::wstring drivers_folder()
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\Drivers";
}

QV_run_result run(const std::wstring& program)
{
    QV_run_result result = qv_run_child(qv_command_line(program, {L"-perform_version_self_test"}));
    EXPECT_TRUE(result.started && !result.timed_out);
    EXPECT_EQ(0u, result.exit_code);
    return result;
}

std::wstring box(const QV_run_result& result)
{
    if (result.boxes.size() != 1)
        return L"boxes: " + std::to_wstring(result.boxes.size());
    return result.boxes[0].caption + L"|" + result.boxes[0].text;
}

// A copy of the install folder's modules in a temporary folder of the test's own.
class VersionSelfTest : public testing::Test {
protected:
    void SetUp() override
    {
        sandbox_ = qv_fresh_sandbox(L"self test");
        for (const std::wstring& name : qv_folder_entries(QV_INSTALL_FOLDER))
            CopyFileW((std::wstring(QV_INSTALL_FOLDER) + L"\\" + name).c_str(), module(name).c_str(), FALSE);
    }
    void TearDown() override { qv_remove_tree(sandbox_); }

    std::wstring module(const std::wstring& name) const { return sandbox_ + L"\\" + name; }

    // Replaces a sandbox module by another file.
    void replace(const wchar_t* name, const std::wstring& with) const
    {
        ASSERT_TRUE(CopyFileW(with.c_str(), module(name).c_str(), FALSE)) << narrow(with);
    }

    std::wstring sandbox_;
};

TEST_F(VersionSelfTest, InstalledProductPassesInBothBuilds)
{
    ASSERT_EQ(23u, qv_folder_entries(QV_INSTALL_FOLDER).size()) << "the product is not installed";
    EXPECT_EQ("PASSED: All modules have the right version\n",
              run(std::wstring(QV_INSTALL_FOLDER) + L"\\VlmKdShell.com").out);
    QV_run_result gui = run(std::wstring(QV_INSTALL_FOLDER) + L"\\VlmKdShell.exe");
    EXPECT_EQ(std::wstring(CAPTION) + L"|PASSED: All modules have the correct version", box(gui));
    EXPECT_EQ("", gui.out);
}

TEST_F(VersionSelfTest, EveryBrokenModuleIsListedInPathOrder)
{
    ASSERT_TRUE(DeleteFileW(module(L"VlmKdTray.dll").c_str()));
    replace(L"VlmKdProxy.exe", qv_sibling_path(L"fixture_no_translation.exe"));
    replace(L"VlmKdConsole.exe", qv_sibling_path(L"fixture_five_numbers.exe"));  // "7, 1, 3, 412, 9"
    replace(L"VlmKdAutomation.dll", std::wstring(QV_INSTALL_FOLDER) + L"\\VlmKdShell.com");  // a good one
    replace(L"VlmAuthProvider.dll", qv_sibling_path(L"fixture_bad_number.exe"));  // "seven, 1, 2, 3"
    replace(L"VlmResource.dll", qv_sibling_path(L"fixture_long_value.exe"));  // a value past its block

    EXPECT_EQ("FAILED: Unable to parse version string seven, 1, 2, 3 for module " + narrow(module(L"VlmAuthProvider.dll"))
                  + "\nFAILED: Version of " + narrow(module(L"VlmKdConsole.exe")) + " is 7, 1, 3, 412 it should be "
                  + SHOULD_BE + "\nFAILED: Unable to get version number of module " + narrow(module(L"VlmKdProxy.exe"))
                  + "\nFAILED: Unable to get version number of module " + narrow(module(L"VlmKdTray.dll"))
                  + "\nFAILED: Unable to get version number of module " + narrow(module(L"VlmResource.dll")) + "\n",
              run(module(L"VlmKdShell.com")).out);
    // The GUI build sums up in one box; the unreadable modules still go to its standard output.
    QV_run_result gui = run(module(L"VlmKdShell.exe"));
    EXPECT_EQ(std::wstring(CAPTION)
                  + L"|FAILED: Something failed, please run the command line version to get more detailed information",
              box(gui));
    EXPECT_EQ("FAILED: Unable to get version number of module " + narrow(module(L"VlmKdProxy.exe"))
                  + "\nFAILED: Unable to get version number of module " + narrow(module(L"VlmKdTray.dll"))
                  + "\nFAILED: Unable to get version number of module " + narrow(module(L"VlmResource.dll")) + "\n",
              gui.out);
}

// The version resource of a module on disk, as its bytes.
std::string version_resource(const std::wstring& file)
{
    HMODULE data = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = data ? FindResourceW(data, MAKEINTRESOURCEW(1), RT_VERSION) : nullptr;
    std::string bytes;
    if (found)
        bytes.assign(static_cast<const char*>(LockResource(LoadResource(data, found))), SizeofResource(data, found));
    if (data)
        FreeLibrary(data);
    return bytes;
}

TEST_F(VersionSelfTest, UnreadableOwnVersionIsReportedOnlyInTheConsole)
{
    const struct {
        std::string resource;
        std::string console;
    } cases[] = {
        // A block too short for its own header: no version can be read from it.
        {std::string(8, '\0'), "FAILED: Unable to get module version of this module\n"},
        {version_resource(qv_sibling_path(L"fixture_bad_number.exe")),
         "FAILED: Unable to parse version string seven, 1, 2, 3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.console);
        ASSERT_FALSE(c.resource.empty());
        for (const wchar_t* name : {L"VlmKdShell.com", L"VlmKdShell.exe"}) {
            HANDLE update = BeginUpdateResourceW(module(name).c_str(), FALSE);
            ASSERT_NE(nullptr, update);
            ASSERT_TRUE(UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1),
                                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                        const_cast<char*>(c.resource.data()), static_cast<DWORD>(c.resource.size())));
            ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
        }
        EXPECT_EQ(c.console, run(module(L"VlmKdShell.com")).out);
        QV_run_result gui = run(module(L"VlmKdShell.exe"));
        EXPECT_TRUE(gui.boxes.empty());
        EXPECT_EQ("", gui.out);
    }
}

// Puts an installed driver back as it was, whatever the test did to it.
class Driver_restore {
public:
    explicit Driver_restore(std::wstring driver) : driver_(std::move(driver)), backup_(driver_ + L".self-test")
    {
        saved_ = CopyFileW(driver_.c_str(), backup_.c_str(), FALSE) != FALSE;
    }
    ~Driver_restore()
    {
        if (saved_)
            MoveFileExW(backup_.c_str(), driver_.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    bool saved() const { return saved_; }

private:
    std::wstring driver_;
    std::wstring backup_;
    bool saved_ = false;
};

TEST_F(VersionSelfTest, NewerDriverFailsLikeAnOlderOne)
{
    std::wstring driver = drivers_folder() + L"\\VlmCvKDV.sys";  // expected 1, 0, 0, 17
    Driver_restore restore(driver);
    ASSERT_TRUE(restore.saved());
    ASSERT_TRUE(CopyFileW((drivers_folder() + L"\\VlmCvKDCd.sys").c_str(), driver.c_str(), FALSE));  // 1, 0, 0, 18
    EXPECT_EQ("FAILED: Version of " + narrow(driver) + " is 1, 0, 0, 18 it should be 1, 0, 0, 17\n",
              run(module(L"VlmKdShell.com")).out);
}

} // namespace
