#include "base/qv_message_box.h"

#include "qv_box_watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Box_call {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
};

std::vector<Box_call> g_calls;

int WINAPI record_box(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    g_calls.push_back({owner, text ? text : L"<null>", caption ? caption : L"<null>", style});
    return IDOK;
}

// Routes the boxes to the recorder for one test.
class QvMessageBoxSeam : public testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        saved_ = qv_message_box_w;
        qv_message_box_w = record_box;
    }
    void TearDown() override { qv_message_box_w = saved_; }

private:
    int (WINAPI* saved_)(HWND, LPCWSTR, LPCWSTR, UINT) = nullptr;
};

TEST_F(QvMessageBoxSeam, StylesCaptionsAndOwner)
{
    HWND owner = reinterpret_cast<HWND>(0x1234);
    qv_error_box(QV_string(L"bad"), QV_PRODUCT_CAPTION, nullptr, nullptr);
    qv_info_box(QV_string(L"good"), QV_PRODUCT_CAPTION, owner, nullptr);
    qv_error_box(QV_string(L"x"), QV_PRODUCT_CAPTION, nullptr, L"Other");
    qv_info_box(QV_string(nullptr), QV_PRODUCT_CAPTION, nullptr, nullptr);
    ASSERT_EQ(4u, g_calls.size());
    // Error: OK, stop icon, set foreground, topmost. Information: the same with
    // the information icon.
    EXPECT_EQ(0x50010u, g_calls[0].style);
    EXPECT_EQ(0x50040u, g_calls[1].style);
    EXPECT_EQ(0x50010u, g_calls[2].style);
    EXPECT_EQ(L"Velmora Orrisguard", g_calls[0].caption);
    EXPECT_EQ(L"bad", g_calls[0].text);
    EXPECT_EQ(nullptr, g_calls[0].owner);
    EXPECT_EQ(owner, g_calls[1].owner);
    EXPECT_EQ(L"Other", g_calls[2].caption);
    EXPECT_EQ(L"<null>", g_calls[3].text);
}

// The real boxes, shown by this process on the test display and answered by a
// watcher thread.
TEST(QvMessageBox, BoxesShowCaptionAndText)
{
    QV_box_watch watch(L"Velmora Orrisguard");
    qv_error_box(QV_string(L"Failed to force delete C:\\data\\a b.txt\n"), QV_PRODUCT_CAPTION, nullptr, nullptr);
    qv_info_box(QV_string(L"PASSED: All modules have the correct version"), QV_PRODUCT_CAPTION, nullptr,
                nullptr);
    std::vector<QV_box> boxes = watch.stop();
    ASSERT_EQ(2u, boxes.size()) << "no display? the boxes need DISPLAY (scripts/test starts Xvfb)";
    EXPECT_EQ(L"Velmora Orrisguard", boxes[0].caption);
    EXPECT_EQ(L"Failed to force delete C:\\data\\a b.txt\n", boxes[0].text);
    EXPECT_EQ(L"Velmora Orrisguard", boxes[1].caption);
    EXPECT_EQ(L"PASSED: All modules have the correct version", boxes[1].text);
}

} // namespace
