#include "registry/qv_policy_value.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

struct Expected {
    const wchar_t* code;
    const wchar_t* key;
    const wchar_t* value_name;
    DWORD kind;
    bool restart;
    DWORD min_value;
    DWORD max_value;
};

const wchar_t* const KD = L"SYSTEM\\CurrentControlSet\\services\\VlmCvKD";
const wchar_t* const RM = L"SYSTEM\\CurrentControlSet\\services\\VlmCvRM";
const wchar_t* const ST = L"SOFTWARE\\Velmora\\Kaldisafe";

const Expected EXPECTED[] = {
    {L"ALR", KD, L"DisableAdminLedRecovery", 1, false, 0, 0},
    {L"CSN", RM, L"CaseSensitiveNotifications", 1, false, 0, 0},
    {L"DAU", KD, L"DisableAutoUnlock", 4, false, 0, 1},
    {L"DBE", KD, L"DisableCDDVDBackEncrypt", 4, true, 0, 1},
    {L"DCM", KD, L"DisableEncryptionOnCopyOrMove", 4, false, 0, 1},
    {L"DDW", KD, L"DisableDirectoryWatch", 4, false, 0, 1},
    {L"DIS", KD, L"Disentangle", 4, true, 0, 1},
    {L"DPC", KD, L"disable_RM_password_checks", 8, false, 0, 1},
    {L"EDD", KD, L"ExemptedDragAndDropPaths", 7, false, 0, 1},
    {L"ENF", KD, L"ExemptNwfs", 4, true, 0, 1},
    {L"ENR", KD, L"ExemptNonRemovable", 4, true, 0, 1},
    {L"ENS", KD, L"ExemptNonSystemDisk", 4, true, 0, 1},
    {L"ENW", KD, L"ExemptNetwork", 4, true, 0, 1},
    {L"EPR", KD, L"ExemptedProcesses", 7, true, 0, 1},
    {L"ERD", KD, L"ExemptRdp", 4, true, 0, 1},
    {L"ERS", KD, L"ExemptRdpSmartcard", 4, true, 0, 1},
    {L"ESD", KD, L"ExemptSystemDisk", 4, true, 0, 1},
    {L"NRP", KD, L"NetworkRelativePathSupport", 4, true, 0, 1},
    {L"ORO", RM, L"OverrideReadOnly", 4, false, 0, 1},
    {L"PTP", KD, L"PlaintextPageFile", 4, true, 0, 1},
    {L"RME", KD, L"RemovableMediaEraseMethod", 4, false, 0, 2},
    {L"RMF", KD, L"RemovableMediaInitFlags", 4, false, 0, 4294967295u},
    {L"RPI", KD, L"ReparseTimeInterval", 4, true, 1, 65535},
    {L"RRM", KD, L"RelaxedRemovableMediaDefinition", 4, true, 0, 2},
    {L"SKY", KD, L"EnableSkyDriveSupport", 1, true, 0, 0},
    {L"URP", KD, L"UseReparseTimeInterval", 4, true, 0, 1},
    {L"V2E", KD, L"Version2Exists", 4, true, 0, 1},
    {L"LPC", ST, L"UseLPC", 4, true, 0, 1},
};

TEST(PolicyValueTable, TwentyEightRowsInOrder)
{
    ASSERT_EQ(28, policy_value_table_end() - policy_value_table_begin());
    const QV_policy_value* row = policy_value_table_begin();
    for (const Expected& expected : EXPECTED) {
        SCOPED_TRACE(testing::Message() << "row " << (row - policy_value_table_begin() + 1));
        EXPECT_STREQ(expected.code, row->code.c_str());
        EXPECT_EQ(HKEY_LOCAL_MACHINE, row->root);
        EXPECT_STREQ(expected.key, row->key_path.c_str());
        EXPECT_STREQ(expected.value_name, row->value_name.c_str());
        EXPECT_EQ(expected.kind, row->kind);
        EXPECT_EQ(expected.restart, row->needs_restart);
        EXPECT_EQ(expected.min_value, row->min_value);
        EXPECT_EQ(expected.max_value, row->max_value);
        ++row;
    }
}

} // namespace
