#include "registry/qv_policy_update_lock.h"
#include "registry/qv_registry_updater.h"
#include "shell/dx_shell_commands.h"

#include "registry_test_support.h"

namespace {

class RegistryUpdater : public testing::Test {
protected:
    void SetUp() override { reset_product_keys(); }
    void TearDown() override { remove_product_keys(); }

    // One updater, one call, as the command would make it without the cache test.
    bool apply(const wchar_t* text)
    {
        QV_registry_updater updater;
        restart = false;
        bool changed = updater.update_values(text, restart, nullptr);
        summary = updater.get_change_summary().c_str() ? updater.get_change_summary().c_str() : L"(null)";
        return changed;
    }

    Stored kd(const wchar_t* name) const { return read_value(HKEY_LOCAL_MACHINE, KD_KEY, name); }
    std::wstring cache() const { return kd(L"zrn_cache").exists() ? kd(L"zrn_cache").text() : L"(none)"; }

    bool restart = false;
    std::wstring summary;
};

std::wstring sz_data(const std::wstring& text)
{
    return text + L'\0';
}

TEST_F(RegistryUpdater, ExampleTextThroughTheCommand)
{
    write_sz(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAdminLedRecovery", L"1");
    const wchar_t* text = L"R+#DAU:1#EPR:a.exe:b.exe#ALR:-#";
    dx_dc_update_registry(text);
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 1));
    Stored list = kd(L"ExemptedProcesses");
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), list.type);
    EXPECT_EQ(multi_sz({L"a.exe", L"b.exe"}), list.text());
    EXPECT_FALSE(kd(L"DisableAdminLedRecovery").exists());
    EXPECT_EQ(sz_data(text), kd(L"zrn_cache").text());
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));
}

TEST_F(RegistryUpdater, ExampleTextResultAndSummary)
{
    write_sz(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAdminLedRecovery", L"1");
    EXPECT_TRUE(apply(L"R+#DAU:1#EPR:a.exe:b.exe#ALR:-#"));
    EXPECT_TRUE(restart);
    EXPECT_EQ(L"DAU:1[empty]#EPR:a.exe:b.exe#ALR:[deleted]#", summary);
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));  // made before the first write
}

TEST_F(RegistryUpdater, SummaryShowsThePreviousValue)
{
    EXPECT_TRUE(apply(L"DAU:1"));
    EXPECT_EQ(L"DAU:1[empty]#", summary);
    EXPECT_FALSE(restart);
    EXPECT_TRUE(apply(L"dau:0#SKY:yes"));
    EXPECT_EQ(L"DAU:0[1]#SKY:yes[empty]#", summary);
    EXPECT_TRUE(restart);
    EXPECT_TRUE(apply(L"SKY:no"));
    EXPECT_EQ(L"SKY:no[yes]#", summary);
}

TEST_F(RegistryUpdater, CachedTextIsNotAppliedAgainButTheSameTextInOtherCaseIs)
{
    const wchar_t* text = L"R+#DAU:1";
    EXPECT_FALSE(QV_registry_updater::cached_value_differs(nullptr));
    EXPECT_TRUE(QV_registry_updater::cached_value_differs(text));  // no cache yet
    dx_dc_update_registry(text);
    EXPECT_FALSE(QV_registry_updater::cached_value_differs(text));
    EXPECT_TRUE(QV_registry_updater::cached_value_differs(L"r+#dau:1"));

    write_dword(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 0);
    delete_tree(HKEY_LOCAL_MACHINE, REBOOT_KEY);
    dx_dc_update_registry(text);
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 0));
    EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));

    dx_dc_update_registry(L"r+#dau:1");
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 1));
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));
    EXPECT_EQ(sz_data(L"r+#dau:1"), kd(L"zrn_cache").text());
}

TEST_F(RegistryUpdater, RestartTokens)
{
    restart = true;
    EXPECT_FALSE(apply(L"R+"));
    EXPECT_FALSE(restart);
    dx_dc_update_registry(L"R+");
    EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, REBOOT_KEY));
    EXPECT_EQ(L"(none)", cache());

    EXPECT_TRUE(apply(L"R+#DAU:1"));  // DAU alone needs no restart; R+ asks for one
    EXPECT_TRUE(restart);
    EXPECT_TRUE(apply(L"R+#R-#DBE:1"));
    EXPECT_FALSE(restart);
    EXPECT_TRUE(apply(L"R-#R+#DBE:0"));
    EXPECT_TRUE(restart);
    EXPECT_TRUE(apply(L"r-#DBE:1"));
    EXPECT_FALSE(restart);
    EXPECT_TRUE(apply(L"DBE:0"));
    EXPECT_TRUE(restart);
}

TEST_F(RegistryUpdater, MalformedTokensAreIgnored)
{
    for (const wchar_t* text : {L"DAU:2", L"DAU: 1", L"DAU:+1", L"DAU:1 ", L":1", L"DAU", L"DAU:", L"#", L"##",
                                L"XYZ:1", L"DA:1", L"DAUX:1", L"R+ ", L"RMF:4294967296",
                                L"RMF:99999999999999999999", L"", L"DAU:0x1", L"DAU:\u0661"}) {
        SCOPED_TRACE(testing::Message() << "text length " << wcslen(text));
        EXPECT_FALSE(apply(text));
        EXPECT_EQ(L"", summary);
        EXPECT_FALSE(kd(L"DisableAutoUnlock").exists());
        EXPECT_FALSE(kd(L"RemovableMediaInitFlags").exists());
    }
    EXPECT_EQ(L"(none)", cache());
    EXPECT_FALSE(apply(nullptr));
}

TEST_F(RegistryUpdater, CodesMatchInAnyCaseAndKeysAreTrimmed)
{
    EXPECT_TRUE(apply(L"dau:1"));
    EXPECT_TRUE(apply(L"Dau:0"));
    EXPECT_TRUE(apply(L" \tdAu :1"));
    EXPECT_EQ(L"DAU:1[0]#", summary);
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 1));
}

TEST_F(RegistryUpdater, DwordBounds)
{
    EXPECT_FALSE(apply(L"RPI:0"));
    EXPECT_FALSE(apply(L"RPI:65536"));
    EXPECT_FALSE(kd(L"ReparseTimeInterval").exists());
    EXPECT_TRUE(apply(L"RPI:1"));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"ReparseTimeInterval", 1));
    EXPECT_TRUE(apply(L"RPI:65535"));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"ReparseTimeInterval", 65535));
    EXPECT_TRUE(apply(L"RMF:4294967295"));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"RemovableMediaInitFlags", 4294967295u));
    EXPECT_FALSE(apply(L"RMF:4294967295"));  // the same value, read back over the full range
    EXPECT_TRUE(apply(L"RMF:0004294967294"));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"RemovableMediaInitFlags", 4294967294u));
    EXPECT_TRUE(apply(L"RME:2#LPC:1#ORO:1"));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, SETTINGS_KEY, L"UseLPC", 1));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, RM_KEY, L"OverrideReadOnly", 1));
}

TEST_F(RegistryUpdater, SameValueAndRemoval)
{
    write_dword(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 1);
    EXPECT_FALSE(apply(L"DAU:1"));
    EXPECT_FALSE(apply(L"DAU:01"));
    EXPECT_TRUE(apply(L"DAU:-"));
    EXPECT_EQ(L"DAU:[deleted]#", summary);
    EXPECT_FALSE(kd(L"DisableAutoUnlock").exists());
    EXPECT_FALSE(apply(L"DAU:-"));  // nothing left to remove
    write_sz(HKEY_LOCAL_MACHINE, KD_KEY, L"EnableSkyDriveSupport", L"On");
    EXPECT_FALSE(apply(L"SKY:On"));
    EXPECT_TRUE(apply(L"SKY:on"));  // strings compare with case
    EXPECT_EQ(L"SKY:on[On]#", summary);
}

// A value left by another writer in another type or shape than the rule writes: the
// driver and the product read it as missing or as something else, so the rule writes
// it again in its own type. A value already in the rule's form stays as it is.
TEST_F(RegistryUpdater, ValueOfAnotherTypeOrShapeIsWrittenInTheRulesOwnType)
{
    using Bytes = std::string;
    const Bytes dword0("\0\0\0\0", 4), dword1("\1\0\0\0", 4);
    auto wide = [](const std::wstring& text) {
        return Bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    };
    struct Case {
        const wchar_t* name;
        DWORD stored_type;
        Bytes stored;
        const wchar_t* text;
        DWORD type;         // after the update
        Bytes data;
        bool changed;
        const wchar_t* summary;
        bool restart;
    } cases[] = {
        {L"DisableAutoUnlock", REG_SZ, wide(sz_data(L"1")), L"DAU:1", REG_DWORD, dword1, true, L"DAU:1[1]#", false},
        {L"DisableAutoUnlock", REG_SZ, wide(sz_data(L"0")), L"DAU:0", REG_DWORD, dword0, true, L"DAU:0[0]#", false},
        {L"DisableAutoUnlock", REG_BINARY, dword0, L"DAU:0", REG_DWORD, dword0, true, L"DAU:0[empty]#", false},
        {L"DisableAutoUnlock", REG_DWORD, Bytes(3, '\0'), L"DAU:0", REG_DWORD, dword0, true, L"DAU:0[empty]#", false},
        {L"DisableAutoUnlock", REG_DWORD_BIG_ENDIAN, Bytes("\0\0\0\1", 4), L"DAU:1", REG_DWORD, dword1, true,
         L"DAU:1[empty]#", false},
        {L"DisableAutoUnlock", REG_QWORD, Bytes(8, '\0'), L"DAU:0", REG_DWORD, dword0, true, L"DAU:0[empty]#", false},
        {L"ReparseTimeInterval", REG_SZ, wide(sz_data(L"300")), L"RPI:300", REG_DWORD, Bytes("\x2c\1\0\0", 4), true,
         L"RPI:300[300]#", true},
        {L"EnableSkyDriveSupport", REG_DWORD, Bytes("\5\0\0\0", 4), L"SKY:5", REG_SZ, wide(sz_data(L"5")), true,
         L"SKY:5[5]#", true},
        {L"EnableSkyDriveSupport", REG_EXPAND_SZ, wide(sz_data(L"5")), L"SKY:5", REG_SZ, wide(sz_data(L"5")), true,
         L"SKY:5[5]#", true},
        {L"EnableSkyDriveSupport", REG_MULTI_SZ, wide(multi_sz({L"5"})), L"SKY:5", REG_SZ, wide(sz_data(L"5")), true,
         L"SKY:5[5;;]#", true},
        {L"ExemptedProcesses", REG_MULTI_SZ, wide(L"a.exe").substr(0, 9), L"EPR:a.exe", REG_MULTI_SZ,
         wide(multi_sz({L"a.exe"})), true, L"EPR:a.exe#", true},
        {L"ExemptedProcesses", REG_MULTI_SZ, wide(sz_data(L"a.exe")), L"EPR:a.exe", REG_MULTI_SZ,
         wide(multi_sz({L"a.exe"})), true, L"EPR:a.exe#", true},
        {L"ExemptedProcesses", REG_SZ, wide(sz_data(L"a.exe")), L"EPR:a.exe", REG_MULTI_SZ,
         wide(multi_sz({L"a.exe"})), true, L"EPR:a.exe#", true},
        // Already in the rule's own form: compared as the value's readers see it.
        {L"DisableAutoUnlock", REG_DWORD, dword1, L"DAU:1", REG_DWORD, dword1, false, L"", false},
        {L"EnableSkyDriveSupport", REG_SZ, wide(sz_data(L"5") + sz_data(L"x")), L"SKY:5", REG_SZ,
         wide(sz_data(L"5") + sz_data(L"x")),
         false, L"", false},
        {L"ExemptedProcesses", REG_MULTI_SZ, wide(multi_sz({L"a.exe"}) + multi_sz({L"b"})), L"EPR:a.exe", REG_MULTI_SZ,
         wide(multi_sz({L"a.exe"}) + multi_sz({L"b"})), false, L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " over type " << c.stored_type << ", "
                                        << c.stored.size() << " bytes");
        reset_product_keys();
        write_value(HKEY_LOCAL_MACHINE, KD_KEY, c.name, c.stored_type, c.stored.data(),
                    static_cast<DWORD>(c.stored.size()));
        EXPECT_EQ(c.changed, apply(c.text));
        EXPECT_EQ(c.summary, summary);
        EXPECT_EQ(c.restart, restart);
        Stored after = kd(c.name);
        EXPECT_EQ(c.type, after.type);
        EXPECT_EQ(c.data, Bytes(after.data.begin(), after.data.end()));
        EXPECT_EQ(sz_data(c.text), cache());  // changed or found as asked: in force either way
    }
}

TEST_F(RegistryUpdater, PageFileClearingFollowsPlaintextPageFileSwitchedOff)
{
    write_dword(HKEY_LOCAL_MACHINE, KD_KEY, L"PlaintextPageFile", 0);
    EXPECT_TRUE(apply(L"PTP:1"));
    EXPECT_FALSE(value_exists(HKEY_LOCAL_MACHINE, MEMORY_KEY, L"ClearPageFileAtShutdown"));
    EXPECT_TRUE(apply(L"PTP:0"));
    EXPECT_TRUE(restart);
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, MEMORY_KEY, L"ClearPageFileAtShutdown", 1));
    reset_product_keys();
    write_dword(HKEY_LOCAL_MACHINE, KD_KEY, L"PlaintextPageFile", 0);
    EXPECT_FALSE(apply(L"PTP:0"));  // no change, no clearing
    EXPECT_FALSE(value_exists(HKEY_LOCAL_MACHINE, MEMORY_KEY, L"ClearPageFileAtShutdown"));
}

TEST_F(RegistryUpdater, CaseSensitiveNotificationSettings)
{
    auto three_are = [&](DWORD warning, DWORD again, DWORD between) {
        EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"CaseSensitiveShowWarning", warning));
        EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"CaseSensitiveShowAgainChoice", again));
        EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"CaseSensitiveTimeBetween", between));
    };
    EXPECT_TRUE(apply(L"CSN:A30"));
    EXPECT_EQ(sz_data(L"A30"), read_value(HKEY_LOCAL_MACHINE, RM_KEY, L"CaseSensitiveNotifications").text());
    three_are(1, 1, 30);
    EXPECT_TRUE(apply(L"CSN:d"));
    three_are(1, 0, 0);
    EXPECT_TRUE(apply(L"CSN:N"));
    three_are(0, 0, 0);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, KD_KEY, L"CaseSensitiveTimeBetween");
    EXPECT_FALSE(apply(L"CSN:N"));  // unchanged text: the settings are not rewritten
    EXPECT_FALSE(kd(L"CaseSensitiveTimeBetween").exists());
    EXPECT_TRUE(apply(L"CSN:Xyz"));
    EXPECT_FALSE(kd(L"CaseSensitiveTimeBetween").exists());
    EXPECT_TRUE(apply(L"CSN:a4294967295"));  // the largest number that fits
    three_are(1, 1, 4294967295u);
}

// A number too large for 32 bits makes the whole token void: the stored text and
// the three settings stay, nothing counts as changed, and the text is not cached,
// so it would be tried again.
TEST_F(RegistryUpdater, CaseSensitiveNumberBeyond32BitsIsIgnoredWhole)
{
    EXPECT_TRUE(apply(L"CSN:A30"));
    for (const wchar_t* text : {L"CSN:A99999999999", L"CSN:d4294967296", L"CSN:A4294967296x"}) {
        SCOPED_TRACE(testing::Message() << "text length " << wcslen(text));
        EXPECT_FALSE(apply(text));
        EXPECT_EQ(L"", summary);
        EXPECT_EQ(sz_data(L"A30"), read_value(HKEY_LOCAL_MACHINE, RM_KEY, L"CaseSensitiveNotifications").text());
        EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"CaseSensitiveTimeBetween", 30));
        EXPECT_EQ(sz_data(L"CSN:A30"), cache());
        EXPECT_TRUE(QV_registry_updater::cached_value_differs(text));
    }
    // Beside a token that does change something, the void one is still skipped.
    EXPECT_TRUE(apply(L"CSN:D99999999999#DAU:1"));
    EXPECT_EQ(L"DAU:1[empty]#", summary);
    EXPECT_EQ(sz_data(L"A30"), read_value(HKEY_LOCAL_MACHINE, RM_KEY, L"CaseSensitiveNotifications").text());
}

// A user hive loaded under HKEY_USERS from a hive file, as the system loads the hive
// of a user who logs on; unloaded again at the end.
class LoadedHive {
public:
    explicit LoadedHive(const wchar_t* name) : name_(name)
    {
        enable_privilege(SE_BACKUP_NAME);
        enable_privilege(SE_RESTORE_NAME);
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        file_ = std::wstring(temp) + name + L".hive";
        DeleteFileW(file_.c_str());
        const wchar_t* source = L"Software\\QvHiveSource";
        delete_tree(HKEY_CURRENT_USER, source);
        write_dword(HKEY_CURRENT_USER, (std::wstring(source) + L"\\" + SETTINGS_KEY).c_str(), L"Kept", 5);
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_CURRENT_USER, source, 0, KEY_READ, &key);
        saved_ = RegSaveKeyW(key, file_.c_str(), nullptr);
        RegCloseKey(key);
        delete_tree(HKEY_CURRENT_USER, source);
        RegUnLoadKeyW(HKEY_USERS, name);
        loaded_ = saved_ == ERROR_SUCCESS ? RegLoadKeyW(HKEY_USERS, name, file_.c_str()) : saved_;
    }
    ~LoadedHive()
    {
        if (loaded_ == ERROR_SUCCESS)
            RegUnLoadKeyW(HKEY_USERS, name_.c_str());
        DeleteFileW(file_.c_str());
    }
    LONG result() const { return loaded_; }
    std::wstring settings() const { return name_ + L"\\" + SETTINGS_KEY; }

private:
    static void enable_privilege(const wchar_t* privilege)
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
            return;
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, privilege, &tp.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
        CloseHandle(token);
    }

    std::wstring name_;
    std::wstring file_;
    LONG saved_ = ERROR_SUCCESS;
    LONG loaded_ = ERROR_SUCCESS;
};

TEST_F(RegistryUpdater, CaseSensitiveRemovalVisitsEveryLoadedUserHive)
{
    // Two hives: the current user's own (HKEY_CURRENT_USER is its hive under
    // HKEY_USERS) and a second one loaded from a hive file with RegLoadKeyW.
    LoadedHive second(L"QvTestUserHive");
    ASSERT_EQ(ERROR_SUCCESS, second.result());
    std::vector<std::pair<HKEY, std::wstring>> user_keys = {{HKEY_CURRENT_USER, SETTINGS_KEY},
                                                            {HKEY_USERS, second.settings()}};
    for (auto& [root, path] : user_keys) {
        write_dword(root, path.c_str(), L"CaseSensitiveShowWarning", 1);
        write_dword(root, path.c_str(), L"CaseSensitiveLastShown", 2);
        write_dword(root, path.c_str(), L"CaseSensitiveShowAgainChoice", 3);  // not a per-user value
    }
    EXPECT_TRUE(apply(L"CSN:A30"));
    EXPECT_TRUE(apply(L"CSN:-"));
    EXPECT_EQ(L"CSN:[deleted]#", summary);
    EXPECT_FALSE(read_value(HKEY_LOCAL_MACHINE, RM_KEY, L"CaseSensitiveNotifications").exists());
    for (const wchar_t* name : {L"CaseSensitiveShowWarning", L"CaseSensitiveShowAgainChoice",
                                L"CaseSensitiveTimeBetween"})
        EXPECT_FALSE(kd(name).exists());
    for (auto& [root, path] : user_keys) {
        EXPECT_FALSE(value_exists(root, path.c_str(), L"CaseSensitiveShowWarning"));
        EXPECT_FALSE(value_exists(root, path.c_str(), L"CaseSensitiveLastShown"));
        EXPECT_TRUE(dword_is(root, path.c_str(), L"CaseSensitiveShowAgainChoice", 3));
    }
    EXPECT_TRUE(dword_is(HKEY_USERS, second.settings().c_str(), L"Kept", 5));
}

TEST_F(RegistryUpdater, DriveListWithColons)
{
    EXPECT_TRUE(apply(L"EDD:C>\\Temp:D>\\Work"));
    EXPECT_EQ(multi_sz({L"C:\\Temp", L"D:\\Work"}), kd(L"ExemptedDragAndDropPaths").text());
    EXPECT_FALSE(restart);
    EXPECT_TRUE(apply(L"EPR:C>\\x"));  // only the EDD list reads ">" as a colon
    EXPECT_EQ(multi_sz({L"C>\\x"}), kd(L"ExemptedProcesses").text());
}

TEST_F(RegistryUpdater, ProcessListShrinksGrowsAndIsRemoved)
{
    EXPECT_TRUE(apply(L"EPR:a.exe:b.exe"));
    EXPECT_TRUE(apply(L"EPR:a.exe"));
    EXPECT_EQ(multi_sz({L"a.exe"}), kd(L"ExemptedProcesses").text());
    EXPECT_TRUE(restart);
    EXPECT_FALSE(apply(L"EPR:a.exe"));
    EXPECT_TRUE(apply(L"EPR:A.exe"));  // entries compare with case
    EXPECT_TRUE(apply(L"EPR:a.exe::b.exe:"));  // empty entries are left out, not stored
    EXPECT_EQ(multi_sz({L"a.exe", L"b.exe"}), kd(L"ExemptedProcesses").text());
    EXPECT_EQ(L"EPR:a.exe::b.exe:#", summary);
    EXPECT_FALSE(apply(L"EPR:a.exe:b.exe"));
    EXPECT_TRUE(apply(L"EPR:-"));
    EXPECT_EQ(L"EPR:[deleted]#", summary);
    EXPECT_FALSE(kd(L"ExemptedProcesses").exists());
    EXPECT_FALSE(apply(L"EPR:-"));
}

TEST_F(RegistryUpdater, ListOf512CharactersIsSkippedWhole)
{
    std::wstring fits = L"EPR:" + std::wstring(255, L'a') + L":" + std::wstring(255, L'b');  // 511
    std::wstring too_long = L"EPR:" + std::wstring(256, L'c') + L":" + std::wstring(255, L'd');
    EXPECT_TRUE(apply(fits.c_str()));
    EXPECT_EQ(multi_sz({std::wstring(255, L'a'), std::wstring(255, L'b')}), kd(L"ExemptedProcesses").text());
    EXPECT_FALSE(apply(too_long.c_str()));
    EXPECT_EQ(multi_sz({std::wstring(255, L'a'), std::wstring(255, L'b')}), kd(L"ExemptedProcesses").text());
}

TEST_F(RegistryUpdater, ListIsNeverWrittenIntoAMissingKey)
{
    reset_product_keys(false);
    EXPECT_FALSE(apply(L"EPR:a.exe"));
    EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, KD_KEY));
}

TEST_F(RegistryUpdater, TextWithAFailedValueIsNotCached)
{
    // The settings key cannot be created below a volatile parent, so "LPC" fails while
    // "DAU" is written. The text must stay uncached so that it is applied again.
    delete_tree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Velmora");
    create_key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Velmora", REG_OPTION_VOLATILE);
    EXPECT_TRUE(apply(L"DAU:1#LPC:1"));
    EXPECT_FALSE(restart);
    EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, SETTINGS_KEY));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"DisableAutoUnlock", 1));
    EXPECT_EQ(L"(none)", cache());
    EXPECT_TRUE(QV_registry_updater::cached_value_differs(L"DAU:1#LPC:1"));

    delete_tree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Velmora");
    dx_dc_update_registry(L"DAU:1#LPC:1");  // applied again once the key can be made
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, SETTINGS_KEY, L"UseLPC", 1));
    EXPECT_EQ(sz_data(L"DAU:1#LPC:1"), kd(L"zrn_cache").text());
}

TEST_F(RegistryUpdater, BooleanMemoryPolicyOnlyWithAMap)
{
    dx_dc_update_registry(L"DPC:1");
    EXPECT_FALSE(kd(L"disable_RM_password_checks").exists());

    QV_registry_updater updater;
    QV_memory_policies policies;
    bool restart_needed = false;
    EXPECT_TRUE(updater.update_values(L"DPC:1", restart_needed, &policies));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"disable_RM_password_checks", 1));
    EXPECT_STREQ(L"true", policies[L"DISABLE_rm_PASSWORD_CHECKS"].c_str());
    EXPECT_EQ(1u, policies.size());
    EXPECT_STREQ(L"", updater.get_change_summary().c_str());
    EXPECT_FALSE(updater.update_values(L"DPC:7", restart_needed, &policies));  // still true
    EXPECT_TRUE(updater.update_values(L"DPC:no", restart_needed, &policies));
    EXPECT_STREQ(L"false", policies[L"disable_RM_password_checks"].c_str());
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"disable_RM_password_checks", 0));
    EXPECT_FALSE(updater.update_values(L"DPC:0", restart_needed, &policies));
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, L"disable_RM_password_checks", 0));
}

TEST_F(RegistryUpdater, RebootKeyIsRecreatedVolatile)
{
    create_key(HKEY_LOCAL_MACHINE, REBOOT_KEY);  // left non-volatile by someone else
    EXPECT_EQ(ERROR_SUCCESS, QV_registry_updater::create_reboot_key());
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(REBOOT_KEY) + L"\\Probe").c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &child, nullptr));
}

} // namespace

// Two updates side by side: the second starts while the first is between two of its
// value writes, and the first goes on only once the second waits for the lock or is
// done. Whatever the order, the cached text names the values in force.
namespace side_by_side {

const wchar_t* const FIRST = L"DAU:1#DBE:1#DCM:1#DDW:1";
const wchar_t* const SECOND = L"DAU:0#DBE:0#DCM:0#DDW:0";
HANDLE second_waiting = nullptr;
HANDLE second_thread = nullptr;
DWORD first_thread_id = 0;

DWORD WINAPI run_second(void*)
{
    dx_dc_update_registry(SECOND);
    return 0;
}

void on_waiting()
{
    if (GetCurrentThreadId() != first_thread_id)
        SetEvent(second_waiting);
}

void on_token(const wchar_t*)
{
    if (GetCurrentThreadId() != first_thread_id || second_thread)
        return;
    second_thread = CreateThread(nullptr, 0, run_second, nullptr, 0, nullptr);
    HANDLE either[] = {second_waiting, second_thread};
    WaitForMultipleObjects(2, either, FALSE, INFINITE);
}

} // namespace side_by_side

TEST_F(RegistryUpdater, TwoUpdatesSideBySideLeaveTheCacheNamingTheValuesInForce)
{
    using namespace side_by_side;
    second_waiting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    first_thread_id = GetCurrentThreadId();
    qv_policy_lock_waiting = on_waiting;
    qv_policy_token_applied = on_token;
    dx_dc_update_registry(FIRST);
    ASSERT_NE(nullptr, second_thread);
    WaitForSingleObject(second_thread, INFINITE);
    qv_policy_lock_waiting = nullptr;
    qv_policy_token_applied = nullptr;
    CloseHandle(second_thread);
    CloseHandle(second_waiting);
    second_thread = nullptr;

    std::wstring cached = cache();
    ASSERT_TRUE(cached == sz_data(FIRST) || cached == sz_data(SECOND))
        << "cache: " << std::string(cached.begin(), cached.end());
    DWORD in_force = cached == sz_data(FIRST) ? 1 : 0;
    for (const wchar_t* name : {L"DisableAutoUnlock", L"DisableCDDVDBackEncrypt", L"DisableEncryptionOnCopyOrMove",
                                L"DisableDirectoryWatch"})
        EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, KD_KEY, name, in_force)) << std::string(name, name + wcslen(name));
}
