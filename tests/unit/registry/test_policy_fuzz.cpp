// Random policy texts against the real registry: whatever arrives, the updater must
// not crash, must write nothing but the table's values and its own, and must keep
// every stored number within its row's bounds.
#include "registry/qv_registry_updater.h"
#include "shell/dx_shell_commands.h"

#include "registry_test_support.h"

#include <random>
#include <set>

namespace {

class PolicyTextGenerator {
public:
    explicit PolicyTextGenerator(unsigned seed) : random_(seed) {}

    std::wstring text()
    {
        std::wstring out;
        int tokens = pick(0, 6);
        for (int i = 0; i < tokens; ++i) {
            if (chance(8))
                out += noise();
            out += token();
            out += chance(10) ? L"##" : L"#";
        }
        return out;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool chance(int one_in) { return pick(1, one_in) == 1; }

    std::wstring code()
    {
        const QV_policy_value& row = policy_value_table[pick(0, QV_POLICY_VALUE_COUNT - 1)];
        std::wstring code = row.code.c_str();
        if (chance(4))
            code[pick(0, 2)] ^= 0x20;  // another case
        if (chance(10))
            code = L" " + code + L"\t";
        if (chance(30))
            code = code.substr(0, pick(0, 2));
        return code;
    }

    std::wstring token()
    {
        switch (pick(0, 9)) {
        case 0:
            return chance(2) ? L"R+" : L"r-";
        case 1:
            return noise();
        default:
            return code() + (chance(20) ? L"" : L":") + value();
        }
    }

    std::wstring value()
    {
        static const wchar_t* const SPECIAL[] = {L"-", L"0", L"1", L"2", L"65535", L"65536", L"4294967295",
                                                 L"4294967296", L"99999999999999999999", L"A30", L"d7", L"N",
                                                 L"C>\\Temp:D>\\Work", L"a.exe::b.exe", L" 1", L"+1", L"-1"};
        switch (pick(0, 5)) {
        case 0:
            return SPECIAL[pick(0, static_cast<int>(std::size(SPECIAL)) - 1)];
        case 1:
            return std::to_wstring(std::uniform_int_distribution<unsigned long long>(0, 9999999999ull)(random_));
        case 2:
            return std::wstring(chance(2) ? 600 : pick(505, 520), static_cast<wchar_t>(L'a' + pick(0, 25)));
        case 3:
            return noise();
        default:
            return std::to_wstring(pick(0, 3));
        }
    }

    std::wstring noise()
    {
        static const wchar_t PIECES[] = {L'#', L':', L'>', L'-', L' ', L'\t', L'\r', L'\n', L'%', L';',
                                         L'\u00e9', L'\u4e2d', L'\xd83d', L'\xde00', L'\xdc00', L'0', L'9', L'R'};
        std::wstring out;
        for (int i = pick(1, 12); i > 0; --i)
            out.push_back(PIECES[pick(0, static_cast<int>(std::size(PIECES)) - 1)]);
        return out;
    }

    std::mt19937 random_;
};

struct ValueSeen {
    std::wstring key;
    std::wstring name;
    Stored stored;
};

std::vector<ValueSeen> values_under(const wchar_t* path)
{
    std::vector<ValueSeen> seen;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return seen;
    wchar_t name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        seen.push_back({path, name, read_value(HKEY_LOCAL_MACHINE, path, name)});
    }
    RegCloseKey(key);
    return seen;
}

std::vector<std::wstring> subkeys_of(const wchar_t* path)
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

const QV_policy_value* row_of(const ValueSeen& value)
{
    for (const QV_policy_value& row : policy_value_table) {
        if (value.key == row.key_path.c_str() && row.value_name.equals_no_case(value.name.c_str()))
            return &row;
    }
    return nullptr;
}

void check_row_value(const QV_policy_value& row, const Stored& stored)
{
    SCOPED_TRACE(testing::Message() << "row " << (&row - policy_value_table + 1));
    switch (row.kind) {
    case QV_POLICY_KIND_SZ:
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
        break;
    case QV_POLICY_KIND_MULTI_SZ:
        EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), stored.type);
        EXPECT_LE(stored.data.size(), 513u * sizeof(wchar_t));
        break;
    default:
        ASSERT_EQ(static_cast<DWORD>(REG_DWORD), stored.type);
        EXPECT_GE(stored.dword(), row.min_value);
        EXPECT_LE(stored.dword(), row.max_value);
        break;
    }
}

TEST(PolicyFuzz, RandomTextsWriteOnlyTableValuesWithinBounds)
{
    reset_product_keys();
    PolicyTextGenerator generator(20261208);
    QV_memory_policies policies;
    for (int i = 0; i < 10000; ++i) {
        std::wstring text = generator.text();
        if (i % 10 == 0) {
            dx_dc_update_registry(text.c_str());
            continue;
        }
        QV_registry_updater updater;
        bool restart = false;
        updater.update_values(text.c_str(), restart, i % 3 == 0 ? &policies : nullptr);
    }

    const std::set<std::wstring> own = {L"zrn_cache", L"CaseSensitiveShowWarning", L"CaseSensitiveShowAgainChoice",
                                        L"CaseSensitiveTimeBetween"};
    size_t checked = 0;
    for (const wchar_t* path : {KD_KEY, RM_KEY, SETTINGS_KEY}) {
        for (const ValueSeen& value : values_under(path)) {
            SCOPED_TRACE(testing::Message() << "value " << std::string(value.name.begin(), value.name.end()));
            if (const QV_policy_value* row = row_of(value)) {
                check_row_value(*row, value.stored);
                ++checked;
            } else {
                EXPECT_TRUE(path == KD_KEY && own.count(value.name)) << "a value the table does not name";
            }
        }
    }
    EXPECT_GT(checked, 20u);  // the run reached most rows
    for (const std::wstring& subkey : subkeys_of(KD_KEY))
        EXPECT_EQ(L"RebootRequest", subkey);
    EXPECT_TRUE(subkeys_of(RM_KEY).empty());
    remove_product_keys();
}

} // namespace
