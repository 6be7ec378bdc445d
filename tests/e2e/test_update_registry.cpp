// The registry command run as the product's services run it: the built program with
// a policy text, the outcome read back from the registry and the trace file.
#include "e2e_support.h"

#include "../unit/registry/registry_test_support.h"
#include "trace/qv_trace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using Args = std::vector<std::wstring>;

class UpdateRegistry : public testing::Test {
protected:
    void SetUp() override { reset_product_keys(); }
    void TearDown() override { remove_product_keys(); }

    static void expect_silent(const QV_run_result& run)
    {
        ASSERT_TRUE(run.started);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("", run.err);
        EXPECT_TRUE(run.boxes.empty());
    }
};

std::wstring system_reg_exe()
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\reg.exe";
}

TEST_F(UpdateRegistry, ExampleTextSeenByRegQuery)
{
    write_sz(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAdminLedRecovery", L"1");
    expect_silent(run_console({L"-update_registry", L"R+#DAU:1#EPR:a.exe:b.exe#ALR:-#"}));

    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 1));
    EXPECT_EQ(multi_sz({L"a.exe", L"b.exe"}), read_value(HKEY_LOCAL_MACHINE, KD_KEY, L"ExemptedProcesses").text());
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));

    QV_run_result query = qv_run_child(qv_command_line(system_reg_exe(),
                                                       {L"query", L"HKLM\\" + std::wstring(KD_KEY)}));
    ASSERT_TRUE(query.started);
    EXPECT_EQ(0u, query.exit_code);
    EXPECT_NE(std::string::npos, query.out.find("    DisableAutoUnlock    REG_DWORD    0x1\r\n")) << query.out;
    EXPECT_NE(std::string::npos, query.out.find("    ExemptedProcesses    REG_MULTI_SZ    a.exe\\0b.exe\r\n"));
    EXPECT_NE(std::string::npos, query.out.find("    zrn_cache    REG_SZ    R+#DAU:1#EPR:a.exe:b.exe#ALR:-#\r\n"));
    EXPECT_NE(std::string::npos, query.out.find("\\VlmCvKD\\RebootRequest"));
    EXPECT_EQ(std::string::npos, query.out.find("DisableAdminLedRecovery"));
}

TEST_F(UpdateRegistry, CachedTextChangesNothingInEitherBuild)
{
    const std::wstring text = L"DBE:1";
    expect_silent(run_gui({L"-update_registry", text}));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableCDDVDBackEncrypt", 1));
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));

    write_dword(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableCDDVDBackEncrypt", 0);
    delete_tree(HKEY_LOCAL_MACHINE, REBOOT_KEY);
    expect_silent(run_console({L"-update_registry", text}));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableCDDVDBackEncrypt", 0));
    EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));

    expect_silent(run_console({L"-update_registry", L"dbe:1"}));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableCDDVDBackEncrypt", 1));
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));
}

// Values another writer left in another type are written again in their own type,
// with the reboot request their change asks for, and the text is cached.
TEST_F(UpdateRegistry, ValuesOfAnotherTypeAreWrittenInTheirOwnType)
{
    write_sz(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", L"1");
    write_dword(HKEY_LOCAL_MACHINE, KD_KEY, L"EnableSkyDriveSupport", 5);
    expect_silent(run_console({L"-update_registry", L"DAU:1#SKY:5"}));

    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 1));
    Stored sky = read_value(HKEY_LOCAL_MACHINE, KD_KEY, L"EnableSkyDriveSupport");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), sky.type);
    EXPECT_EQ(std::wstring(L"5", 2), sky.text());
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));
    EXPECT_EQ(std::wstring(L"DAU:1#SKY:5", 12), read_value(HKEY_LOCAL_MACHINE, KD_KEY, L"zrn_cache").text());
}

// Switches the product's trace on for the machine while it lives, and reads what the
// program wrote to the trace file of this user's temp folder meanwhile.
class TraceSession {
public:
    explicit TraceSession(HKEY root = HKEY_LOCAL_MACHINE) : root_(root)
    {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"TraceFile.qv";
        start_ = size_now();
        write_dword(root_, QV_LOGGING_KEY, L"EnableUserModeTrace", 1);
    }
    ~TraceSession() { RegDeleteKeyValueW(root_, QV_LOGGING_KEY, L"EnableUserModeTrace"); }

    bool file_exists() const { return GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // What was appended since the session began, without the byte-order mark.
    std::wstring new_text() const
    {
        std::ifstream in(path_.c_str(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t from = start_ == 0 ? 2 : start_;
        if (bytes.size() <= from)
            return L"";
        bytes = bytes.substr(from);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    }

private:
    size_t size_now() const
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data))
            return 0;
        return data.nFileSizeLow;
    }

    HKEY root_;
    std::wstring path_;
    size_t start_ = 0;
};

TEST_F(UpdateRegistry, TraceLinesOfTheEntries)
{
    write_dword(HKEY_CURRENT_USER, SETTINGS_KEY, L"CaseSensitiveShowWarning", 1);
    write_sz(HKEY_LOCAL_MACHINE, RM_KEY, L"CaseSensitiveNotifications", L"A30");
    std::wstring trace;
    {
        TraceSession session;
        expect_silent(run_console({L"-update_registry", L"DAU:1#CSN:-"}));
        if (!session.file_exists())
            GTEST_SKIP() << "no trace file after a traced run: the trace writer is missing from this build";
        trace = session.new_text();
    }
    const std::wstring kd = KD_KEY;
    for (const std::wstring& expected : {
             std::wstring(L"VlmKdShell!dx_dc_update_registry[0]\n"),
             L" QV_reg_dword_entry::install[0](Key: " + kd + L", Value: DisableAutoUnlock\n",
             L" QV_reg_entry::create_key: Successfully created registry key, samDesired 0002001F root: "
             L"HKEY_LOCAL_MACHINE name " + kd + L"\n",
             L" QV_reg_entry::open_key: Successfully opened registry key, samDesired 0002001F root: "
             L"HKEY_LOCAL_MACHINE name " + kd + L"\n",
             std::wstring(L" QV_registry_updater::update_dword: RReq Changing the value of DWORD property DAU to 1.\n"),
             // HKEY_USERS is named as a handle; .Default has no product key.
             std::wstring(L" QV_reg_entry::open_key: Failed to open registry key, error 2 samDesired 0002001F "
                          L"root: (Handle) name .Default\\SOFTWARE\\Velmora\\Kaldisafe\n"),
             std::wstring(L"QV_reg_entry::open_key: Error: 0x00000002 ==> "),
             std::wstring(L"\\SOFTWARE\\Velmora\\Kaldisafe CaseSensitiveShowWarning\n"),
             L" QV_reg_sz_entry::install[0](Key: " + kd + L", Value: zrn_cache\n",
         }) {
        EXPECT_NE(std::wstring::npos, trace.find(expected))
            << "missing: " << std::string(expected.begin(), expected.end());
    }
    // The current user's own hive under HKEY_USERS was visited and its value removed.
    EXPECT_NE(std::wstring::npos, trace.find(L"Successfully opened registry key, samDesired 0002001F root: (Handle) name S-"));
    EXPECT_FALSE(value_exists(HKEY_CURRENT_USER, SETTINGS_KEY, L"CaseSensitiveShowWarning"));
}

// The rules' own lines: a value already as asked, a removal with its page-file
// follow-up and the restart flag, the three notification settings of "CSN:D",
// and the failures a volatile parent key provokes (it refuses a non-volatile
// child, so the settings key of "LPC" cannot be made).
TEST_F(UpdateRegistry, TraceLinesOfTheRules)
{
    write_dword(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 1);
    write_dword(HKEY_LOCAL_MACHINE, KD_KEY, L"PlaintextPageFile", 1);
    delete_tree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Velmora");
    create_key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Velmora", REG_OPTION_VOLATILE);
    std::wstring trace;
    {
        // The machine's switch would live below the volatile key too; the user's is used.
        TraceSession session(HKEY_CURRENT_USER);
        QV_run_result run = run_console({L"-update_registry", L"DAU:1#PTP:-#CSN:D45#LPC:1"});
        SCOPED_TRACE(testing::Message() << "error of a failed start: " << (run.started ? 0 : GetLastError()));
        expect_silent(run);
        trace = session.new_text();
    }
    delete_tree(HKEY_CURRENT_USER, L"Software\\Velmora\\Corvessa");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Velmora");
    const std::wstring kd = KD_KEY;
    const std::wstring settings = L"SOFTWARE\\Velmora\\Kaldisafe";
    for (const std::wstring& expected : {
             std::wstring(L" QV_registry_updater::update_dword: RReq Got a DWORD DAU update but the value (1) is "
                          L"the same as the existing one.\n"),
             std::wstring(L" QV_registry_updater::update_dword: RReq Removing existing DWORD value PTP from the "
                          L"registry.\n"),
             std::wstring(L" QV_registry_updater::update_values: RReq Setting the restart_needed flag.\n"),
             std::wstring(L" QV_reg_dword_entry::install[0](Key: ") + MEMORY_KEY + L", Value: ClearPageFileAtShutdown\n",
             L" QV_reg_dword_entry::install[0](Key: " + kd + L", Value: CaseSensitiveShowWarning\n",
             L" QV_reg_dword_entry::install[0](Key: " + kd + L", Value: CaseSensitiveShowAgainChoice\n",
             L" QV_reg_dword_entry::install[0](Key: " + kd + L", Value: CaseSensitiveTimeBetween\n",
             L" QV_reg_entry::create_key: Failed to create registry key, error 1021 samDesired 0002001F root: "
             L"HKEY_LOCAL_MACHINE name " + settings + L"\n",
             std::wstring(L"QV_reg_entry::create_key: Error: 0x000003fd"),
             L" QV_reg_dword_entry::install: Failed to create key: " + settings + L"\n",
             std::wstring(L"QV_reg_dword_entry::install: Error: 0x000003fd"),
         }) {
        EXPECT_NE(std::wstring::npos, trace.find(expected))
            << "missing: " << std::string(expected.begin(), expected.end());
    }
    EXPECT_FALSE(value_exists(HKEY_LOCAL_MACHINE, KD_KEY, L"PlaintextPageFile"));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, MEMORY_KEY, L"ClearPageFileAtShutdown", 1));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"CaseSensitiveShowWarning", 1));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"CaseSensitiveShowAgainChoice", 0));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"CaseSensitiveTimeBetween", 45));
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));
    EXPECT_FALSE(value_exists(HKEY_LOCAL_MACHINE, KD_KEY, L"zrn_cache"));  // "LPC" failed: applied again next time
}

} // namespace
