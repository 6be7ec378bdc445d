// The flag pattern and level of -change_tracing, checked in the levels the driver
// stand-in keeps after each setting.

#include "shell_test_support.h"

#include "shell/dx_dc_commands.h"

#include <set>
#include <string>

namespace {

struct Tracing_case {
    const wchar_t* setting;
    std::set<int> flags;  // the rows that must be set, every other row untouched
    int level;
};

std::set<int> all_flags()
{
    std::set<int> rows;
    for (int i = 0; i < QV_SIM_DRIVER_FLAGS; ++i)
        rows.insert(i);
    return rows;
}

const std::wstring LONG_PATTERN = std::wstring(10000, L'Q') + L"=DEBUG";

const Tracing_case CASES[] = {
    {L"QVDL_TRACE_ERRORS=DEBUG", {0}, 6},
    {L"QVDX_*=DEBUG", {14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 65, 66, 67, 68, 70, 72}, 6},
    {L"*_ERRORS=ERROR", {0, 5, 14, 34, 42, 62}, 2},
    {L"QVFS_*CREATE=INFO", {10, 12}, 4},
    {L"*=ON", all_flags(), 8},
    {L"QVDX_TRACE_READ*=TRACE", {31}, 7},
    {L"QVFS_TRACE_CACHE_MANAGER_CALLBACKS=LOG", {8}, 5},     // 34 characters: accepted
    {L"QVFS_TRACE_CACHE_MANAGER_CALLBACKS*=LOG", {}, 0},     // 35: refused, though it would match
    {L"QVDL_TRACE_ERRORS=error", {}, 0},                     // levels are case-sensitive
    {L"*_ERRORS*=OFF", {}, 0},                               // a further "*" is a plain character
    {L"=DEBUG", {}, 0},
    {L"", {}, 0},
    {L"QVDL_TRACE_ERRORS", {}, 0},
    {L"QVDL_TRACE_ERRORS=", {}, 0},
    {L"%s%n*=%s", {}, 0},
    {L"QVDX_\x00C4\x00D6*=DEBUG", {}, 0},
    {L"QVDX_*=D\x00C9" L"BUG", {}, 0},
    {LONG_PATTERN.c_str(), {}, 0},
};

class ChangeTracing : public QV_driver_test {};

TEST_F(ChangeTracing, SetsExactlyTheMatchingFlagsInTheDriver)
{
    for (const Tracing_case& entry : CASES) {
        SCOPED_TRACE(testing::Message() << "setting: " << std::wstring(entry.setting).substr(0, 60));
        qv_sim_driver_reset();
        QV_driver_com driver;
        ASSERT_HRESULT_SUCCEEDED(dx_dc_create_driver(driver));
        EXPECT_EQ(!entry.flags.empty(), dx_dc_change_tracing(entry.setting, driver.get(), true));
        std::vector<unsigned char> levels = qv_sim_driver_levels();
        for (int flag = 0; flag < QV_SIM_DRIVER_FLAGS; ++flag) {
            int expected = entry.flags.count(flag) ? entry.level : QV_SIM_LEVEL_NEVER_SET;
            EXPECT_EQ(expected, levels[flag]) << "flag " << flag;
        }
    }
}

TEST_F(ChangeTracing, NullSettingSetsNothing)
{
    QV_driver_com driver;
    ASSERT_HRESULT_SUCCEEDED(dx_dc_create_driver(driver));
    EXPECT_FALSE(dx_dc_change_tracing(nullptr, driver.get(), false));
    EXPECT_TRUE(methods().empty());
}

} // namespace
