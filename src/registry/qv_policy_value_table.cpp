#include "registry/qv_policy_value.h"

#include "registry/qv_registry_keys.h"

namespace {

constexpr DWORD SZ = QV_POLICY_KIND_SZ;
constexpr DWORD DW = QV_POLICY_KIND_DWORD;
constexpr DWORD MULTI = QV_POLICY_KIND_MULTI_SZ;
constexpr DWORD BMP = QV_POLICY_KIND_BOOLEAN_MEMORY_POLICY;

QV_policy_value row(const wchar_t* code, const wchar_t* key, const wchar_t* name, DWORD kind,
                    bool restart, DWORD min_value, DWORD max_value)
{
    return QV_policy_value{code, HKEY_LOCAL_MACHINE, key, name, kind, restart, min_value, max_value};
}

const wchar_t* const KD = QV_KD_SERVICE_KEY;
const wchar_t* const RM = QV_RM_SERVICE_KEY;
const wchar_t* const SETTINGS = QV_PRODUCT_SETTINGS_KEY;

} // namespace

const QV_policy_value policy_value_table[QV_POLICY_VALUE_COUNT] = {
    row(L"ALR", KD, L"DisableAdminLedRecovery", SZ, false, 0, 0),
    row(L"CSN", RM, L"CaseSensitiveNotifications", SZ, false, 0, 0),
    row(L"DAU", KD, L"DisableAutoUnlock", DW, false, 0, 1),
    row(L"DBE", KD, L"DisableCDDVDBackEncrypt", DW, true, 0, 1),
    row(L"DCM", KD, L"DisableEncryptionOnCopyOrMove", DW, false, 0, 1),
    row(L"DDW", KD, L"DisableDirectoryWatch", DW, false, 0, 1),
    row(L"DIS", KD, L"Disentangle", DW, true, 0, 1),
    row(L"DPC", KD, L"disable_RM_password_checks", BMP, false, 0, 1),
    row(L"EDD", KD, L"ExemptedDragAndDropPaths", MULTI, false, 0, 1),
    row(L"ENF", KD, L"ExemptNwfs", DW, true, 0, 1),
    row(L"ENR", KD, L"ExemptNonRemovable", DW, true, 0, 1),
    row(L"ENS", KD, L"ExemptNonSystemDisk", DW, true, 0, 1),
    row(L"ENW", KD, L"ExemptNetwork", DW, true, 0, 1),
    row(L"EPR", KD, L"ExemptedProcesses", MULTI, true, 0, 1),
    row(L"ERD", KD, L"ExemptRdp", DW, true, 0, 1),
    row(L"ERS", KD, L"ExemptRdpSmartcard", DW, true, 0, 1),
    row(L"ESD", KD, L"ExemptSystemDisk", DW, true, 0, 1),
    row(L"NRP", KD, L"NetworkRelativePathSupport", DW, true, 0, 1),
    row(L"ORO", RM, L"OverrideReadOnly", DW, false, 0, 1),
    row(L"PTP", KD, L"PlaintextPageFile", DW, true, 0, 1),
    row(L"RME", KD, L"RemovableMediaEraseMethod", DW, false, 0, 2),
    row(L"RMF", KD, L"RemovableMediaInitFlags", DW, false, 0, 4294967295u),
    row(L"RPI", KD, L"ReparseTimeInterval", DW, true, 1, 65535),
    row(L"RRM", KD, L"RelaxedRemovableMediaDefinition", DW, true, 0, 2),
    row(L"SKY", KD, L"EnableSkyDriveSupport", SZ, true, 0, 0),
    row(L"URP", KD, L"UseReparseTimeInterval", DW, true, 0, 1),
    row(L"V2E", KD, L"Version2Exists", DW, true, 0, 1),
    row(L"LPC", SETTINGS, L"UseLPC", DW, true, 0, 1),
};
