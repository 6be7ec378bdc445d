#include "shell/dx_shell_dispatch.h"
#include "shell/dx_shell_output.h"
#include "base/qv_message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Captures what the program asks the message-box functions for: Wine does not
// show MB_TOPMOST on the window, so the style is checked here, at the call.
struct BoxCall {
    std::string text;
    std::string caption;
    UINT style;
    bool has_owner;
};
std::vector<BoxCall> g_calls;

int WINAPI capture_box_a(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    g_calls.push_back({text ? text : "", caption ? caption : "", style, owner != nullptr});
    return IDOK;
}

class DispatchTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        saved_ = dx_shell_message_box_a;
        dx_shell_message_box_a = capture_box_a;
    }
    void TearDown() override { dx_shell_message_box_a = saved_; }

    int dispatch(std::vector<std::wstring> args)
    {
        args.insert(args.begin(), L"C:\\Program Files\\Velmora\\VlmKdShell.exe");
        std::vector<wchar_t*> argv;
        for (std::wstring& arg : args)
            argv.push_back(arg.data());
        return Dx_shell_dispatch(true, static_cast<int>(argv.size()), argv.data());
    }

private:
    int (WINAPI* saved_)(HWND, LPCSTR, LPCSTR, UINT) = nullptr;
};

TEST_F(DispatchTest, UsageBoxIsTopmostOkWithTheProgramCaption)
{
    EXPECT_EQ(0, dispatch({L"-EUT"}));
    ASSERT_EQ(1u, g_calls.size());
    EXPECT_EQ(0x40000u, g_calls[0].style);  // MB_OK | MB_TOPMOST
    EXPECT_EQ("VlmKdShell.exe", g_calls[0].caption);
    EXPECT_FALSE(g_calls[0].has_owner);
    EXPECT_EQ(0u, g_calls[0].text.find("Options: \n\n -begin_driver_trace"));
}

TEST_F(DispatchTest, OptionsBelongToOneArgumentCountGroup)
{
    // Each of these names an option only with another number of operands.
    const std::vector<std::vector<std::wstring>> misplaced = {
        {L"-update_registry"},
        {L"-ogp_log_on", L"x"},
        {L"-blind_copy", L"a"},
        {L"-get_guid", L"a", L"b"},
        {L"-update_registry", L"a", L"b", L"c"},
    };
    for (const auto& args : misplaced) {
        g_calls.clear();
        EXPECT_EQ(0, dispatch(args));
        EXPECT_EQ(1u, g_calls.size()) << "usage expected for " << args.size() << " operands";
    }
}

TEST_F(DispatchTest, NullVectorShowsUsage)
{
    EXPECT_EQ(0, Dx_shell_dispatch(true, 0, nullptr));
    EXPECT_EQ(1u, g_calls.size());
}

std::vector<std::wstring> g_notices;

int WINAPI capture_box_w(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    g_notices.push_back(std::wstring(caption) + L"|" + text + L"|" + std::to_wstring(style)
                        + (owner ? L"|owned" : L""));
    return IDOK;
}

TEST(NoticeBox, TopmostOkWithTheProgramCaptionAndNoOwner)
{
    auto saved = qv_message_box_w;
    qv_message_box_w = capture_box_w;
    dx_shell_notice_box(L"done");
    qv_message_box_w = saved;
    ASSERT_EQ(1u, g_notices.size());
    EXPECT_EQ(L"VlmKdShell.exe|done|262144", g_notices[0]);  // 0x40000: MB_OK | MB_TOPMOST
}

} // namespace
