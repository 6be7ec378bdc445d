#include "qv_test_registry.h"
#include "trace_test_support.h"

#include <string>
#include <vector>

namespace {

const wchar_t* ATOM_NAME = L"{7E40A9C5-62D1-4f3b-8C17-B95E03D2A64C}_QVD";

struct Recorded_pause {
    static inline std::vector<DWORD> calls;
    static void WINAPI pause(DWORD ms) { calls.push_back(ms); }
};

class TraceSwitch : public testing::Test {
protected:
    void SetUp() override
    {
        qv_clear_trace_switch();
        while (ATOM atom = GlobalFindAtomW(ATOM_NAME))
            GlobalDeleteAtom(atom);
        Recorded_pause::calls.clear();
        qv_trace_switch_pause = Recorded_pause::pause;
    }
    void TearDown() override
    {
        qv_trace_switch_pause = Sleep;
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Velmora\\Other");
        qv_clear_trace_switch();
    }
    static DWORD value_under(HKEY root)
    {
        DWORD value = 0, size = sizeof(value), type = 0;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, QV_LOGGING_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return 0xFFFFFFFF;
        RegQueryValueExW(key, L"EnableUserModeTrace", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return type == REG_DWORD ? value : 0xFFFFFFFE;
    }
};

TEST_F(TraceSwitch, EnableSetsBothRootsAndTheAtomThenPauses)
{
    EXPECT_EQ(0u, qv_enable_user_mode_trace());
    EXPECT_EQ(1u, value_under(HKEY_CURRENT_USER));
    EXPECT_EQ(1u, value_under(HKEY_LOCAL_MACHINE));
    EXPECT_NE(0, GlobalFindAtomW(ATOM_NAME));
    EXPECT_EQ(std::vector<DWORD>{3000}, Recorded_pause::calls);
}

TEST_F(TraceSwitch, DisableRemovesKeysAndAtomThenPauses)
{
    qv_enable_user_mode_trace();
    qv_disable_user_mode_trace();
    EXPECT_EQ(0, GlobalFindAtomW(ATOM_NAME));
    EXPECT_FALSE(qv_key_exists(HKEY_CURRENT_USER, L"Software\\Velmora"));
    EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, QV_LOGGING_KEY));
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, L"Software\\Velmora\\Corvessa"));  // only Logging goes there
    EXPECT_EQ((std::vector<DWORD>{3000, 3000}), Recorded_pause::calls);
}

TEST_F(TraceSwitch, DisableKeepsVendorKeyThatHoldsOtherKeys)
{
    HKEY other = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Velmora\\Other", &other));
    RegCloseKey(other);
    qv_enable_user_mode_trace();
    qv_disable_user_mode_trace();
    EXPECT_FALSE(qv_key_exists(HKEY_CURRENT_USER, L"Software\\Velmora\\Corvessa"));
    EXPECT_TRUE(qv_key_exists(HKEY_CURRENT_USER, L"Software\\Velmora\\Other"));
}

// A logging key that holds a subkey cannot be deleted: its switch value goes
// instead, under both roots, and the writer stops.
TEST_F(TraceSwitch, DisableSwitchesOffALoggingKeyThatHoldsASubkey)
{
    qv_enable_user_mode_trace();
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY sub = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(root, (std::wstring(QV_LOGGING_KEY) + L"\\Sub").c_str(), &sub));
        RegCloseKey(sub);
    }
    qv_delete_trace_file();
    EXPECT_EQ(0u, qv_disable_user_mode_trace()) << "a switch that is off counts as removed";
    qv_trace_reset_writer_state();
    qv_trace_write(L"after disable\n");
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(0xFFFFFFFEu, value_under(root)) << "the switch value is still there";
        EXPECT_TRUE(qv_key_exists(root, QV_LOGGING_KEY));
        RegDeleteKeyW(root, (std::wstring(QV_LOGGING_KEY) + L"\\Sub").c_str());
    }
    EXPECT_TRUE(qv_read_trace_bytes().empty()) << "the writer still traces";
    EXPECT_EQ(0, GlobalFindAtomW(ATOM_NAME));
}

TEST_F(TraceSwitch, WriterFollowsTheSwitch)
{
    qv_delete_trace_file();
    qv_enable_user_mode_trace();
    qv_trace_reset_writer_state();  // stands for the 3,000 ms the pause lets pass
    qv_trace_write(L"on\n");
    qv_disable_user_mode_trace();
    qv_trace_reset_writer_state();
    qv_trace_write(L"off\n");
    std::wstring text = qv_read_trace_text();
    EXPECT_NE(std::wstring::npos, text.find(L"on\n"));
    EXPECT_EQ(std::wstring::npos, text.find(L"off\n"));
    qv_delete_trace_file();
}

} // namespace
