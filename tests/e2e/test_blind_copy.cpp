// -blind_copy as users run it, in both builds, against the driver component
// stand-in: where the copy lands, which names are used, what the driver is asked,
// and that nothing but the destination is ever deleted.

#include "e2e_support.h"
#include "qv_driver_registration.h"
#include "qv_sim_driver_state.h"
#include "qv_test_files.h"
#include "qv_trace_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring SUFFIX(1, QV_SIM_BLIND_COPY_SUFFIX);

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Volume serial number and file index: equal for every name of one file.
bool one_file(const std::wstring& a, const std::wstring& b)
{
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::wstring* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileW(paths[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        bool read = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info[i]);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (!read)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber
           && info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::string contents(const std::wstring& path)
{
    return exists(path) ? qv_sim_read_bytes(path) : "(missing)";
}

std::wstring system_text(DWORD code)
{
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(0x1300, nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = n ? text : L"";
    LocalFree(text);
    return out;
}

// What the console build writes to standard error: the system text in the OEM code page.
std::string oem(const std::wstring& text)
{
    std::string bytes(text.size() * 4 + 1, '\0');
    int n = WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(n > 0 ? n : 0);
    return bytes;
}

// The copy_special_info calls of the journal, each as "source|destination|flag".
std::vector<std::wstring> information_copies()
{
    std::vector<std::wstring> calls;
    for (const QV_sim_driver_call& call : qv_sim_driver_journal()) {
        if (call.method == L"copy_special_info" && call.arguments.size() == 3)
            calls.push_back(call.arguments[0] + L"|" + call.arguments[1] + L"|" + call.arguments[2]);
    }
    return calls;
}

QV_run_result run_build(bool gui, const std::vector<std::wstring>& args, const wchar_t* cwd = nullptr)
{
    return gui ? run_gui(args, cwd) : run_console(args, cwd);
}

class BlindCopyE2e : public testing::Test {
protected:
    void SetUp() override
    {
        qv_sim_driver_reset();
        sandbox_ = qv_fresh_sandbox(L"blind copy");
    }
    void TearDown() override
    {
        qv_remove_tree(sandbox_);
        qv_sim_driver_reset();
    }

    std::wstring in(const std::wstring& name) const { return sandbox_ + L"\\" + name; }

    // The copy succeeded silently in the build.
    static void expect_silent(const QV_run_result& run)
    {
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("", run.err);
        EXPECT_TRUE(run.boxes.empty());
    }

    // The copy failed with code: its system text on standard error, or in an error box.
    static void expect_failure(bool gui, const QV_run_result& run, DWORD code)
    {
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        if (!gui) {
            EXPECT_EQ(oem(system_text(code)), run.err);
            EXPECT_TRUE(run.boxes.empty());
            return;
        }
        EXPECT_EQ("", run.err);
        ASSERT_EQ(1u, run.boxes.size());
        EXPECT_EQ(L"Velmora Orrisguard", run.boxes[0].caption);
        EXPECT_EQ(0u, system_text(code).find(run.boxes[0].text)) << testing::PrintToString(run.boxes[0].text);
        EXPECT_FALSE(run.boxes[0].text.empty());
    }

    std::wstring sandbox_;

private:
    static QV_driver_registration registration_;
};

QV_driver_registration BlindCopyE2e::registration_;

TEST_F(BlindCopyE2e, OntoAFolderWithTheSpecialInformation)
{
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui ? "GUI build" : "console build");
        qv_sim_driver_reset();
        qv_remove_tree(in(L"out"));
        CreateDirectoryW(in(L"out").c_str(), nullptr);
        qv_write_file(in(L"report.txt"), "plain text");
        qv_write_file(in(L"report.txt.dxsi"), "key material");
        // Relative operands, typed in the sandbox: the driver is given absolute names.
        expect_silent(run_build(gui, {L"-blind_copy", L"report.txt", L"out"}, sandbox_.c_str()));
        EXPECT_EQ("plain text", contents(in(L"out\\report.txt")));
        EXPECT_EQ("key material", contents(in(L"out\\report.txt.dxsi")));
        EXPECT_EQ(std::vector<std::wstring>{in(L"report.txt") + L"|" + in(L"out\\report.txt") + L"|1"},
                  information_copies());
    }
}

TEST_F(BlindCopyE2e, SuffixedPairWhenTheDriverOffersOne)
{
    qv_write_file(in(L"a.txt"), "as stored");
    qv_write_file(in(L"a.txt") + SUFFIX, "as offered");
    qv_write_file(in(L"b.txt"), "old plain");
    qv_write_file(in(L"b.txt") + SUFFIX, "old offered");
    expect_silent(run_console({L"-blind_copy", in(L"a.txt"), in(L"b.txt")}));
    EXPECT_EQ("as offered", contents(in(L"b.txt") + SUFFIX));
    EXPECT_EQ("old plain", contents(in(L"b.txt")));  // only the suffixed destination was replaced
    EXPECT_EQ("as stored", contents(in(L"a.txt")));
    EXPECT_EQ(std::vector<std::wstring>{in(L"a.txt") + SUFFIX + L"|" + in(L"b.txt") + SUFFIX + L"|1"},
              information_copies());
}

// The driver's suffixed destination goes, as before a copy onto the plain name,
// once the new copy is complete.
TEST_F(BlindCopyE2e, PlainPairOverASuffixedDestination)
{
    qv_write_file(in(L"a.txt"), "new");
    qv_write_file(in(L"b.txt"), "old plain");
    qv_write_file(in(L"b.txt") + SUFFIX, "old offered");
    expect_silent(run_console({L"-blind_copy", in(L"a.txt"), in(L"b.txt")}));
    EXPECT_EQ("new", contents(in(L"b.txt")));
    EXPECT_EQ("(missing)", contents(in(L"b.txt") + SUFFIX));
    EXPECT_EQ(std::vector<std::wstring>{in(L"a.txt") + L"|" + in(L"b.txt") + L"|1"}, information_copies());
}

TEST_F(BlindCopyE2e, SuffixedPairOntoAFolderLandsInsideIt)
{
    qv_write_file(in(L"a.txt"), "as stored");
    qv_write_file(in(L"a.txt") + SUFFIX, "as offered");
    CreateDirectoryW(in(L"out").c_str(), nullptr);
    expect_silent(run_console({L"-blind_copy", in(L"a.txt"), in(L"out")}));
    EXPECT_EQ("as offered", contents(in(L"out\\a.txt") + SUFFIX));
    EXPECT_EQ("(missing)", contents(in(L"out") + SUFFIX));
    EXPECT_EQ("(missing)", contents(in(L"out\\a.txt")));
    EXPECT_EQ(std::vector<std::wstring>{in(L"a.txt") + SUFFIX + L"|" + in(L"out\\a.txt") + SUFFIX + L"|1"},
              information_copies());
}

TEST_F(BlindCopyE2e, FailedInformationCopyLeavesOnlyATraceLine)
{
    qv_clear_trace_switch();
    qv_set_trace_switch(HKEY_CURRENT_USER, 1);
    qv_delete_trace_file();
    qv_sim_driver_answer(L"copy_result", L"80004005");
    qv_write_file(in(L"src"), "data");
    QV_run_result run = run_gui({L"-blind_copy", in(L"src"), in(L"dst")});
    std::wstring trace = qv_read_trace_text();
    qv_clear_trace_switch();
    qv_delete_trace_file();
    expect_silent(run);
    EXPECT_EQ("data", contents(in(L"dst")));
    EXPECT_NE(std::wstring::npos, trace.find(L"VlmKdShell!dx_shell_blind_copy: Unable to copy special info from file "
                                             + in(L"src") + L" to " + in(L"dst") + L": 80004005\n"));
}

TEST_F(BlindCopyE2e, OtherNamesOfTheSourceAreNeverDeleted)
{
    qv_write_file(in(L"same.txt"), "only copy");
    CreateHardLinkW(in(L"linked.txt").c_str(), in(L"same.txt").c_str(), nullptr);
    wchar_t prefix[MAX_PATH] = {};
    GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    std::wstring unix_form = L"Z:" + std::wstring(prefix) + L"/drive_c" + in(L"same.txt").substr(2);
    for (wchar_t& c : unix_form)
        c = c == L'/' ? L'\\' : c;
    const std::wstring destinations[] = {
        in(L"SAME.TXT"),                 // the same path in another case
        L"\\\\?\\" + in(L"same.txt"),    // the long-path form
        unix_form,                       // the same folder under a second drive letter
        in(L"linked.txt"),               // a hard link
    };
    for (const std::wstring& destination : destinations) {
        SCOPED_TRACE(testing::PrintToString(destination));
        ASSERT_TRUE(exists(destination));
        QV_run_result run = run_console({L"-blind_copy", in(L"same.txt"), destination});
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("only copy", contents(in(L"same.txt")));
    }
    // Deleting the link and copying the bytes back would look the same from the contents.
    EXPECT_TRUE(one_file(in(L"same.txt"), in(L"linked.txt")));
}

TEST_F(BlindCopyE2e, LockedSourceKeepsTheDestination)
{
    qv_write_file(in(L"locked"), "new");
    qv_write_file(in(L"dst"), "old");
    HANDLE lock = CreateFileW(in(L"locked").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui ? "GUI build" : "console build");
        expect_failure(gui, run_build(gui, {L"-blind_copy", in(L"locked"), in(L"dst")}), ERROR_SHARING_VIOLATION);
        EXPECT_EQ("old", contents(in(L"dst")));
    }
    CloseHandle(lock);
    EXPECT_TRUE(information_copies().empty());
}

TEST_F(BlindCopyE2e, BadOperandsFailClearlyAndDeleteNothingElse)
{
    qv_write_file(in(L"src"), "data");
    CreateDirectoryW(in(L"folder").c_str(), nullptr);
    qv_write_file(in(L"old"), "old");
    const struct {
        std::wstring source;
        std::wstring destination;
        DWORD code;
    } cases[] = {
        // Wine reports a 32,000-character name as not found; Windows as too long.
        {in(std::wstring(32000, L'n')), in(L"old"), ERROR_FILE_NOT_FOUND},
        {in(L"missing"), in(L"old"), ERROR_FILE_NOT_FOUND},
        {in(L"src"), in(L"no folder\\dst"), ERROR_PATH_NOT_FOUND},
        {in(L"folder"), in(L"old"), ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.destination) + " from " + std::to_string(c.source.size()));
        expect_failure(false, run_console({L"-blind_copy", c.source, c.destination}), c.code);
    }
    EXPECT_EQ("data", contents(in(L"src")));
    EXPECT_EQ("old", contents(in(L"old")));
    EXPECT_TRUE(exists(in(L"folder")));
    EXPECT_TRUE(information_copies().empty());
}

TEST_F(BlindCopyE2e, ReadOnlyDestination)
{
    qv_write_file(in(L"src"), "data");
    qv_write_file(in(L"read only"), "kept");
    qv_write_file(in(L"neighbour"), "neighbour");
    SetFileAttributesW(in(L"read only").c_str(), FILE_ATTRIBUTE_READONLY);
    QV_run_result run = run_console({L"-blind_copy", in(L"src"), in(L"read only")});
    SetFileAttributesW(in(L"read only").c_str(), FILE_ATTRIBUTE_NORMAL);
    // Wine, running as root here, lets a read-only file be replaced. Windows
    // refuses both the removal and the copy: ERROR_ACCESS_DENIED, the file kept.
    expect_silent(run);
    EXPECT_EQ("data", contents(in(L"read only")));
    EXPECT_EQ("data", contents(in(L"src")));
    EXPECT_EQ("neighbour", contents(in(L"neighbour")));
}

TEST_F(BlindCopyE2e, FolderWhereTheFileWasExpectedKeepsItsNameAndContents)
{
    qv_write_file(in(L"a.txt"), "new");
    CreateDirectoryW(in(L"out").c_str(), nullptr);
    CreateDirectoryW(in(L"out\\a.txt").c_str(), nullptr);
    qv_write_file(in(L"out\\a.txt\\inside.txt"), "inside");
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui ? "GUI build" : "console build");
        expect_failure(gui, run_build(gui, {L"-blind_copy", in(L"a.txt"), in(L"out")}), ERROR_ACCESS_DENIED);
        EXPECT_EQ("inside", contents(in(L"out\\a.txt\\inside.txt")));
        EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, qv_folder_entries(in(L"out")));
    }
    EXPECT_TRUE(information_copies().empty());
}

} // namespace
