// The user-mode trace commands as a support engineer runs them: switching the
// trace on and off for the machine, and gathering the trace files into a cabinet.

#include "e2e_support.h"
#include "qv_machine_switch_denied.h"
#include "qv_test_files.h"
#include "qv_test_registry.h"
#include "qv_trace_file.h"

#include <gtest/gtest.h>

#include <setupapi.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using Args = std::vector<std::wstring>;

const char RULE[] = "------------------------------------------------------------------------------";

std::wstring temp_folder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

std::wstring system_trace_file()
{
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\Temp\\TraceFile.qv";
}

std::wstring long_form(const std::wstring& path)
{
    wchar_t buffer[1024];
    DWORD length = GetLongPathNameW(path.c_str(), buffer, 1024);
    return length > 0 && length < 1024 ? buffer : path;
}

bool file_exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string read_bytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
}

std::string utf16(const wchar_t* text)
{
    const char* bytes = reinterpret_cast<const char*>(text);
    return std::string(bytes, bytes + wcslen(text) * sizeof(wchar_t));
}

// Reading the switch as the trace writer does: the value must be a 4-byte REG_DWORD 1.
bool switch_on(HKEY root)
{
    DWORD value = 0, size = sizeof value, type = 0;
    return RegGetValueW(root, QV_LOGGING_KEY, QV_TRACE_SWITCH_VALUE, RRF_RT_ANY, &type, &value, &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == 4 && value == 1;
}

void set_switch_directly(bool on)
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        if (on)
            qv_set_trace_switch(root, 1);
        else
            RegDeleteTreeW(root, L"Software\\Velmora");
    }
}

// The files of a cabinet, extracted through the platform's setup library.
struct Extracted {
    std::wstring folder;
    std::vector<std::wstring> names;
};

UINT CALLBACK extract_one(void* context, UINT notification, UINT_PTR param1, UINT_PTR)
{
    auto* out = static_cast<Extracted*>(context);
    if (notification != SPFILENOTIFY_FILEINCABINET)
        return NO_ERROR;
    auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_W*>(param1);
    out->names.push_back(info->NameInCabinet);
    std::wstring target = out->folder + L"\\" + info->NameInCabinet;
    wcsncpy(info->FullTargetName, target.c_str(), MAX_PATH - 1);
    return FILEOP_DOIT;
}

bool extract_cabinet(const std::wstring& cabinet, Extracted& out)
{
    using Iterate = BOOL(WINAPI*)(PCWSTR, DWORD, PSP_FILE_CALLBACK_W, PVOID);
    HMODULE setup = LoadLibraryW(L"setupapi.dll");
    auto iterate = setup ? reinterpret_cast<Iterate>(
                               reinterpret_cast<void*>(GetProcAddress(setup, "SetupIterateCabinetW")))
                         : nullptr;
    bool done = iterate && iterate(cabinet.c_str(), 0, extract_one, &out);
    if (setup)
        FreeLibrary(setup);
    return done;
}

class UserModeTrace : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t name[64];
        swprintf(name, 64, L"qv_e2e_trace_%lu", GetCurrentProcessId());
        sandbox = temp_folder() + name;
        qv_remove_tree(sandbox);
        ASSERT_TRUE(CreateDirectoryW(sandbox.c_str(), nullptr));
        set_switch_directly(false);
        DeleteFileW(qv_trace_file_path().c_str());
        DeleteFileW(system_trace_file().c_str());
    }
    void TearDown() override
    {
        set_switch_directly(false);
        DeleteFileW(qv_trace_file_path().c_str());
        DeleteFileW(system_trace_file().c_str());
        qv_remove_tree(sandbox);
    }
    std::wstring in_sandbox(const std::wstring& name) const { return sandbox + L"\\" + name; }
    std::vector<std::wstring> sandbox_entries() const
    {
        std::vector<std::wstring> names = qv_folder_entries(sandbox);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::wstring sandbox;
};

std::string console_enabled_text()
{
    return std::string("\n") + RULE + "\n LOGGING: The application is now logging user mode events to the files\n          " +
           narrow(long_form(system_trace_file())) + " and\n          " + narrow(long_form(qv_trace_file_path())) +
           "\n\n          To stop logging, type VlmKdShell.com -disable_user_mode_trace\n"
           "                ...or just type VlmKdShell.com -dut\n" + RULE + "\n";
}

std::wstring gui_enabled_text()
{
    return L"The application is now logging user mode events to the files\n" + long_form(system_trace_file()) +
           L" and\n" + long_form(qv_trace_file_path()) +
           L"\n\nTo stop logging, type VlmKdShell.exe -disable_user_mode_trace\n      ...or just type VlmKdShell.exe -dut";
}

std::string console_gathered_text(const std::wstring& cabinet)
{
    return std::string("\n") + RULE + "\n The application has now gathered the user mode trace files into the file:\n " +
           narrow(cabinet) + "\n" + RULE + "\n";
}

std::wstring gui_gathered_text(const std::wstring& cabinet)
{
    return L"The application has now gathered the user mode trace files into the file" + cabinet + L".\n\n";
}

const char CONSOLE_FAILED[] = "\nFailed to gather user mode trace files!\n";
const wchar_t GUI_FAILED[] = L"Failed to gather user mode trace files!";

TEST_F(UserModeTrace, EnableSwitchesOnAfterRemovingOldFilesEvenWhenAlreadyOn)
{
    set_switch_directly(true);  // already on: the old files go all the same
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui ? "GUI build" : "console build");
        ASSERT_TRUE(qv_write_file(qv_trace_file_path(), "OLD USER RECORDS"));
        ASSERT_TRUE(qv_write_file(system_trace_file(), "OLD SYSTEM RECORDS"));
        QV_run_result run = gui ? run_gui({L"-eut"}) : run_console({L"-enable_user_mode_trace"});
        ASSERT_TRUE(run.started);
        EXPECT_EQ(0u, run.exit_code);
        if (gui) {
            EXPECT_EQ("", run.out);
            ASSERT_EQ(1u, run.boxes.size());
            EXPECT_EQ(L"VlmKdShell.exe", run.boxes[0].caption);
            EXPECT_EQ(gui_enabled_text(), run.boxes[0].text);
        } else {
            EXPECT_EQ(console_enabled_text(), run.out);
            EXPECT_TRUE(run.boxes.empty());
        }
        // With tracing on, the program's own later records may start a new file.
        EXPECT_EQ(std::string::npos, read_bytes(qv_trace_file_path()).find("OLD USER RECORDS"));
        EXPECT_FALSE(file_exists(system_trace_file()));
        EXPECT_TRUE(switch_on(HKEY_CURRENT_USER)) << "enabling sets no switch under HKCU (trace writer missing?)";
        EXPECT_TRUE(switch_on(HKEY_LOCAL_MACHINE)) << "enabling sets no switch under HKLM (trace writer missing?)";
    }
}

TEST_F(UserModeTrace, DisableRemovesTheSwitchAndKeepsTheFiles)
{
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui ? "GUI build" : "console build");
        set_switch_directly(true);
        HKEY other = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Velmora\\Other", &other));
        RegCloseKey(other);
        ASSERT_TRUE(qv_write_file(qv_trace_file_path(), "USER RECORDS"));
        ASSERT_TRUE(qv_write_file(system_trace_file(), "SYSTEM RECORDS"));
        QV_run_result run = gui ? run_gui({L"-disable_user_mode_trace"}) : run_console({L"-dut"});
        EXPECT_EQ(0u, run.exit_code);
        if (gui) {
            ASSERT_EQ(1u, run.boxes.size());
            EXPECT_EQ(L"The application has now stopped logging user mode events to the\n"
                      L"TraceFile.qv files in the temp directories.\n\n",
                      run.boxes[0].text);
        } else {
            EXPECT_EQ(std::string("\n") + RULE +
                          "\n LOGGING: The application has now stopped logging user mode events to the\n"
                          "          TraceFile.qv files in the temp directories.\n" + RULE + "\n",
                      run.out);
        }
        EXPECT_FALSE(qv_key_exists(HKEY_CURRENT_USER, L"Software\\Velmora\\Corvessa")) << "trace writer missing?";
        EXPECT_TRUE(qv_key_exists(HKEY_CURRENT_USER, L"Software\\Velmora\\Other"));
        EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, QV_LOGGING_KEY)) << "trace writer missing?";
        // The command's own records, written while tracing was still on, follow the old ones.
        EXPECT_EQ("USER RECORDS", read_bytes(qv_trace_file_path()).substr(0, 12));
        EXPECT_EQ("SYSTEM RECORDS", read_bytes(system_trace_file()));
    }
}

std::wstring system_text(DWORD code)
{
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
    return text;
}

// Without rights to the machine's key, neither command may claim the machine's
// switch: each shows the system's text (standard error, or the product's error
// box) and exits with 0; the user's switch is switched all the same.
TEST_F(UserModeTrace, SwitchingWithoutRightsShowsTheSystemsText)
{
    struct Case {
        const wchar_t* option;
        bool enable;
        bool gui;
    };
    for (const Case& c : {Case{L"-eut", true, false}, Case{L"-eut", true, true}, Case{L"-dut", false, false},
                          Case{L"-dut", false, true}}) {
        SCOPED_TRACE(narrow(c.option) + (c.gui ? " GUI build" : " console build"));
        set_switch_directly(false);
        if (!c.enable)
            qv_set_trace_switch(HKEY_CURRENT_USER, 1);
        QV_machine_switch_denied machine(!c.enable);
        ASSERT_TRUE(machine.denied());
        QV_run_result run = c.gui ? run_gui({c.option}) : run_console({c.option});
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        if (c.gui) {
            ASSERT_EQ(1u, run.boxes.size());
            EXPECT_EQ(L"Velmora Orrisguard", run.boxes[0].caption);
            EXPECT_EQ(system_text(ERROR_ACCESS_DENIED), run.boxes[0].text);
        } else {
            EXPECT_EQ(narrow(system_text(ERROR_ACCESS_DENIED)), run.err);
            EXPECT_TRUE(run.boxes.empty());
        }
        EXPECT_EQ(c.enable, switch_on(HKEY_CURRENT_USER));
        EXPECT_EQ(!c.enable, switch_on(HKEY_LOCAL_MACHINE));
    }
}

TEST_F(UserModeTrace, CollectNamesTheCabinetAndNeverOverwritesOne)
{
    ASSERT_TRUE(qv_write_file(qv_trace_file_path(), "\xFF\xFE" + utf16(L"12:00:00 [1] user record\n")));
    ASSERT_TRUE(qv_write_file(system_trace_file(), "\xFF\xFE" + utf16(L"12:00:00 [2] system record\n")));

    QV_run_result first = run_console({L"-collect_user_mode_trace", L"trace"}, sandbox.c_str());
    EXPECT_EQ(console_gathered_text(in_sandbox(L"trace.cab")), first.out);
    QV_run_result second = run_gui({L"-collect_user_mode_trace", L"trace"}, sandbox.c_str());
    ASSERT_EQ(1u, second.boxes.size());
    EXPECT_EQ(gui_gathered_text(in_sandbox(L"trace (1).cab")), second.boxes[0].text);
    QV_run_result upper = run_console({L"-collect_user_mode_trace", in_sandbox(L"x.CAB")});
    EXPECT_EQ(console_gathered_text(in_sandbox(L"x.CAB")), upper.out);
    QV_run_result other = run_console({L"-collect_user_mode_trace", in_sandbox(L"x.txt")});
    EXPECT_EQ(console_gathered_text(in_sandbox(L"x.txt.cab")), other.out);
    EXPECT_EQ((std::vector<std::wstring>{L"trace (1).cab", L"trace.cab", L"x.CAB", L"x.txt.cab"}), sandbox_entries());

    Extracted files{in_sandbox(L"out"), {}};
    ASSERT_TRUE(CreateDirectoryW(files.folder.c_str(), nullptr));
    ASSERT_TRUE(extract_cabinet(in_sandbox(L"trace (1).cab"), files));
    EXPECT_EQ((std::vector<std::wstring>{L"SysTraceFile.qv", L"UsrTraceFile.qv"}), files.names);
    EXPECT_EQ(read_bytes(system_trace_file()), read_bytes(files.folder + L"\\SysTraceFile.qv"));
    EXPECT_EQ(read_bytes(qv_trace_file_path()), read_bytes(files.folder + L"\\UsrTraceFile.qv"));
}

TEST_F(UserModeTrace, CollectCreatesMissingFoldersAndReportsWhatCannotBeMade)
{
    ASSERT_TRUE(qv_write_file(qv_trace_file_path(), "user"));
    std::wstring nested = in_sandbox(L"new\\deeper\\t");
    QV_run_result made = run_console({L"-collect_user_mode_trace", nested});
    EXPECT_EQ(console_gathered_text(nested + L".cab"), made.out);
    EXPECT_TRUE(file_exists(nested + L".cab"));

    ASSERT_TRUE(qv_write_file(in_sandbox(L"a_file"), "not a folder"));
    std::wstring impossible = in_sandbox(L"a_file\\sub\\t");
    QV_run_result console = run_console({L"-collect_user_mode_trace", impossible});
    EXPECT_EQ(CONSOLE_FAILED, console.out);
    QV_run_result gui = run_gui({L"-collect_user_mode_trace", impossible});
    ASSERT_EQ(1u, gui.boxes.size());
    EXPECT_EQ(GUI_FAILED, gui.boxes[0].text);
    EXPECT_EQ((std::vector<std::wstring>{L"a_file", L"new"}), sandbox_entries());
}

// Without either trace file there is nothing to gather: an archive without files
// (a bare header that independent readers reject) is no success, so the command
// reports the failure and leaves no file.
TEST_F(UserModeTrace, CollectWithoutTraceFilesFailsAndLeavesNoArchive)
{
    QV_run_result console = run_console({L"-collect_user_mode_trace", in_sandbox(L"none")});
    EXPECT_EQ(CONSOLE_FAILED, console.out);
    QV_run_result gui = run_gui({L"-collect_user_mode_trace", in_sandbox(L"none")});
    ASSERT_EQ(1u, gui.boxes.size());
    EXPECT_EQ(GUI_FAILED, gui.boxes[0].text);
    EXPECT_EQ(std::vector<std::wstring>{}, sandbox_entries());
}

// Collects started together into one name: each one's archive survives under a
// name of its own, and each run names the archive it wrote.
TEST_F(UserModeTrace, CollectsIntoOneNameAtOnceKeepEveryArchive)
{
    ASSERT_TRUE(qv_write_file(qv_trace_file_path(), "\xFF\xFE" + utf16(L"12:00:00 [1] user record\n")));
    constexpr int COLLECTS = 4;
    std::vector<QV_run_result> runs(COLLECTS);
    std::vector<std::thread> threads;
    for (int i = 0; i < COLLECTS; ++i)
        threads.emplace_back([&, i] { runs[i] = run_console({L"-collect_user_mode_trace", L"race"}, sandbox.c_str()); });
    for (std::thread& t : threads)
        t.join();
    std::vector<std::string> printed;
    for (const QV_run_result& run : runs)
        printed.push_back(run.out);
    std::sort(printed.begin(), printed.end());
    std::vector<std::string> expected;
    for (const wchar_t* name : {L"race (1).cab", L"race (2).cab", L"race (3).cab", L"race.cab"})
        expected.push_back(console_gathered_text(in_sandbox(name)));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, printed);
    EXPECT_EQ((std::vector<std::wstring>{L"race (1).cab", L"race (2).cab", L"race (3).cab", L"race.cab"}),
              sandbox_entries());
    for (const std::wstring& name : sandbox_entries()) {
        Extracted files{in_sandbox(L"out"), {}};
        CreateDirectoryW(files.folder.c_str(), nullptr);
        EXPECT_TRUE(extract_cabinet(in_sandbox(name), files)) << narrow(name);
        EXPECT_EQ(std::vector<std::wstring>{L"UsrTraceFile.qv"}, files.names) << narrow(name);
        qv_remove_tree(files.folder);
    }
}

// The console build gets its operand from the wide command line: a path in
// Cyrillic and Chinese reaches the writer whole, and the archive has exactly that
// name. A reservation left by a collect killed earlier goes with this one.
TEST_F(UserModeTrace, ConsoleCollectKeepsANameOutsideTheAnsiCodePage)
{
    ASSERT_TRUE(qv_write_file(system_trace_file(), "system"));
    const std::wstring folder = in_sandbox(L"\u0436\u0443\u0440\u043d\u0430\u043b");
    const std::wstring name = L"\u8ddf\u8e2a \u0442\u0440\u0430\u0441\u0441\u0430";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(qv_write_file(folder + L"\\" + name + L".cab.1.partial", "left by a killed collect"));
    QV_run_result run = run_console({L"-collect_user_mode_trace", folder + L"\\" + name});
    EXPECT_EQ(console_gathered_text(folder + L"\\" + name + L".cab"), run.out);
    EXPECT_EQ(std::vector<std::wstring>{name + L".cab"}, qv_folder_entries(folder));
}

TEST_F(UserModeTrace, CollectHandlesAwkwardDestinations)
{
    ASSERT_TRUE(qv_write_file(qv_trace_file_path(), "user"));
    // Spaces and letters outside the ANSI code page: the cabinet gets the exact
    // wide name; the console line carries the name in the ANSI code page.
    std::wstring spaced = in_sandbox(L"my traces\\a b");
    EXPECT_EQ(console_gathered_text(spaced + L".cab"), run_console({L"-collect_user_mode_trace", spaced}).out);
    EXPECT_TRUE(file_exists(spaced + L".cab"));
    std::wstring cyrillic = in_sandbox(L"\u0436\u0443\u0440\u043d\u0430\u043b\\\u0442\u0440\u0430\u0441\u0441\u0430");
    QV_run_result gui = run_gui({L"-collect_user_mode_trace", cyrillic});
    ASSERT_EQ(1u, gui.boxes.size());
    EXPECT_EQ(gui_gathered_text(cyrillic + L".cab"), gui.boxes[0].text);
    EXPECT_TRUE(file_exists(cyrillic + L".cab"));

    // A trailing backslash names a folder: the rule gives the file ".cab" in it.
    std::wstring folder = in_sandbox(L"dir\\");
    EXPECT_EQ(console_gathered_text(folder + L".cab"), run_console({L"-collect_user_mode_trace", folder}).out);
    EXPECT_TRUE(file_exists(folder + L".cab"));
    // A name taken by a folder is never written into: the archive goes beside it.
    ASSERT_TRUE(CreateDirectoryW(in_sandbox(L"taken.cab").c_str(), nullptr));
    EXPECT_EQ(console_gathered_text(in_sandbox(L"taken (1).cab")),
              run_console({L"-collect_user_mode_trace", in_sandbox(L"taken.cab")}).out);

    // 300 characters: the cabinet library cannot be given it; nothing is written.
    std::wstring too_long = in_sandbox(std::wstring(300, L'l'));
    EXPECT_EQ(CONSOLE_FAILED, run_console({L"-collect_user_mode_trace", too_long}).out);
    EXPECT_EQ((std::vector<std::wstring>{L"dir", L"my traces", L"taken (1).cab", L"taken.cab",
                                         L"\u0436\u0443\u0440\u043d\u0430\u043b"}),
              sandbox_entries());
}

TEST_F(UserModeTrace, SupportCycleGathersTheRecordsOfTheTracedRuns)
{
    ASSERT_EQ(0u, run_console({L"-eut"}).exit_code);
    for (const wchar_t* marker : {L"-cycle_run_one", L"-cycle_run_two", L"-cycle_run_three"})
        run_console({marker});
    ASSERT_EQ(0u, run_console({L"-dut"}).exit_code);
    QV_run_result collect = run_console({L"-collect_user_mode_trace", in_sandbox(L"support")});
    EXPECT_EQ(console_gathered_text(in_sandbox(L"support.cab")), collect.out);

    Extracted files{in_sandbox(L"out"), {}};
    ASSERT_TRUE(CreateDirectoryW(files.folder.c_str(), nullptr));
    ASSERT_TRUE(extract_cabinet(in_sandbox(L"support.cab"), files));
    std::string records = read_bytes(files.folder + L"\\UsrTraceFile.qv");
    ASSERT_FALSE(records.empty()) << "no user trace gathered: the trace writer wrote no records";
    EXPECT_EQ("\xFF\xFE", records.substr(0, 2));
    for (const wchar_t* marker : {L"-cycle_run_one", L"-cycle_run_two", L"-cycle_run_three"})
        EXPECT_NE(std::string::npos, records.find(utf16(marker))) << narrow(marker) << " not in the gathered trace";
}

}  // namespace
