#include "base/qv_identity.h"
#include "qv_platform.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// Token groups as a standard user's or a filtered administrator's token lists
// them; Wine runs every process as an administrator, so these come through the seam.
struct Fake_token {
    static inline std::vector<BYTE> groups;
    static inline DWORD fail_with = ERROR_SUCCESS;
    static inline bool fail = false;

    static BOOL WINAPI source(HANDLE, TOKEN_INFORMATION_CLASS info_class, void* buffer, DWORD size, DWORD* needed)
    {
        if (fail || info_class != TokenGroups) {
            SetLastError(fail_with);
            return FALSE;
        }
        *needed = static_cast<DWORD>(groups.size());
        if (size < groups.size()) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(buffer, groups.data(), groups.size());
        return TRUE;
    }
};

// Lays out TOKEN_GROUPS with the given SIDs (string form) and attributes.
std::vector<BYTE> make_groups(std::initializer_list<std::pair<const wchar_t*, DWORD>> entries)
{
    size_t header = offsetof(TOKEN_GROUPS, Groups) + entries.size() * sizeof(SID_AND_ATTRIBUTES);
    std::vector<BYTE> out(header + entries.size() * SECURITY_MAX_SID_SIZE);
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(out.data());
    groups->GroupCount = static_cast<DWORD>(entries.size());
    BYTE* sid_at = out.data() + header;
    DWORD i = 0;
    for (auto [text, attributes] : entries) {
        PSID sid = nullptr;
        ConvertStringSidToSidW(text, &sid);
        CopySid(SECURITY_MAX_SID_SIZE, sid_at, sid);
        LocalFree(sid);
        groups->Groups[i].Sid = sid_at;
        groups->Groups[i].Attributes = attributes;
        sid_at += SECURITY_MAX_SID_SIZE;
        ++i;
    }
    return out;
}

class QvIsLocalAdminSeam : public testing::Test {
protected:
    void SetUp() override
    {
        Fake_token::fail = false;
        Fake_token::fail_with = ERROR_SUCCESS;
        qv_token_information_source = Fake_token::source;
    }
    void TearDown() override { qv_token_information_source = GetTokenInformation; }
};

// Wine runs every process as an administrator; on Windows the answer is the
// account's own, either way a plain yes or no.
TEST(QvIdentity, WineProcessIsAnAdministrator)
{
    HRESULT answer = qv_is_local_admin();
    if (qv_running_on_wine())
        EXPECT_EQ(S_OK, answer);
    else
        EXPECT_TRUE(answer == S_OK || answer == S_FALSE) << std::hex << answer;
}

TEST(QvIdentity, UserSidIsACopyOfTheTokenUser)
{
    SetLastError(0xdeadbeef);
    PSID sid = qv_get_process_user_sid();
    ASSERT_NE(nullptr, sid);
    EXPECT_TRUE(IsValidSid(sid));
    wchar_t* text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(sid, &text));
    EXPECT_EQ(0, std::wcsncmp(L"S-1-5-21-", text, 9)) << text;
    LocalFree(text);
    EXPECT_EQ(nullptr, LocalFree(sid));
}

TEST_F(QvIsLocalAdminSeam, StandardUserIsNotAMember)
{
    Fake_token::groups = make_groups({{L"S-1-1-0", SE_GROUP_ENABLED}, {L"S-1-5-32-545", SE_GROUP_ENABLED}});
    EXPECT_EQ(S_FALSE, qv_is_local_admin());
}

TEST_F(QvIsLocalAdminSeam, DenyOnlyAdministratorsStillCounts)
{
    Fake_token::groups = make_groups({{L"S-1-1-0", SE_GROUP_ENABLED}, {L"S-1-5-32-544", SE_GROUP_USE_FOR_DENY_ONLY}});
    EXPECT_EQ(S_OK, qv_is_local_admin());
}

TEST_F(QvIsLocalAdminSeam, FailureGivesTheErrorAsHresult)
{
    Fake_token::fail = true;
    Fake_token::fail_with = ERROR_ACCESS_DENIED;
    EXPECT_EQ(static_cast<HRESULT>(0x80070005), qv_is_local_admin());
}

TEST_F(QvIsLocalAdminSeam, FailureWithoutErrorIsStillAFailure)
{
    Fake_token::fail = true;
    Fake_token::fail_with = ERROR_SUCCESS;
    EXPECT_EQ(E_FAIL, qv_is_local_admin());
}

TEST_F(QvIsLocalAdminSeam, UserSidFailureGivesNullAndTheError)
{
    Fake_token::fail = true;
    Fake_token::fail_with = ERROR_ACCESS_DENIED;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, qv_get_process_user_sid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

} // namespace
