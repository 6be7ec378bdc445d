// The driver component's method positions, checked against a table built here
// rather than through the header the stand-in shares with the program: a method
// shifted in that header would shift both sides and still meet in the middle.

#include "shell/dx_driver_com.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

constexpr int SLOTS = 35;

// Every entry answers its own position; on x64 the caller cleans up, so one
// signature serves every method whatever it passes.
template <int Position>
HRESULT STDMETHODCALLTYPE answer_position(void*)
{
    return Position;
}

struct Fake_component {
    void* const* table;
};

template <int... Positions>
const void* const* position_table(std::integer_sequence<int, Positions...>)
{
    static void* const table[] = {reinterpret_cast<void*>(&answer_position<Positions>)...};
    return table;
}

TEST(DriverComSlots, EachMethodSitsAtTheComponentsPosition)
{
    Fake_component fake{const_cast<void* const*>(position_table(std::make_integer_sequence<int, SLOTS>()))};
    auto* driver = reinterpret_cast<IDxDriverCom*>(&fake);
    ULONG status = 0;
    wchar_t* text = nullptr;
    const std::pair<HRESULT, int> calls[] = {
        {static_cast<HRESULT>(driver->AddRef()), 1},
        {static_cast<HRESULT>(driver->Release()), 2},
        {driver->query_device_guid(L"x", &text), 3},
        {driver->release_string(nullptr), 4},
        {driver->reserved_5(), 5},
        {driver->reserved_18(), 18},
        {driver->set_flag_level(0, 0), 19},
        {driver->begin_trace_to_file(L"x"), 20},
        {driver->end_trace_to_file(), 21},
        {driver->reserved_22(), 22},
        {driver->reserved_25(), 25},
        {driver->copy_special_info(L"a", L"b", 1), 26},
        {driver->reserved_27(), 27},
        {driver->reserved_28(), 28},
        {driver->exempt_current_process(), 29},
        {driver->unexempt_current_process(), 30},
        {driver->reserved_31(), 31},
        {driver->reserved_33(), 33},
        {driver->is_attached(L"x\0", &status), 34},
    };
    for (const auto& [answered, position] : calls)
        EXPECT_EQ(position, answered);
    EXPECT_EQ(0, driver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&text)));
}

} // namespace
