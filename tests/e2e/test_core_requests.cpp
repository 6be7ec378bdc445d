// -ogp_log_on, -ogp_log_off and -sync_user_data against the installed core
// stand-in: each sends exactly its document and shows nothing, in both builds.

#include "e2e_support.h"
#include "qv_sim_core.h"
#include "qv_trace_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Core_option {
    const wchar_t* option;
    const wchar_t* document;
};

const Core_option OPTIONS[] = {
    {L"-ogp_log_on",
     L"\xFEFF<?xml version=\"1.0\"?>\r\n  <function name=\"log_on\">\r\n"
     L"    <parameter name=\"wallet_type\">0</parameter>\r\n  </function>\r\n"},
    {L"-ogp_log_off",
     L"\xFEFF<?xml version=\"1.0\"?>\r\n  <function name=\"log_off\">\r\n"
     L"    <parameter name=\"wallet_type\">1</parameter>\r\n  </function>\r\n"},
    {L"-sync_user_data", L"\xFEFF<?xml version=\"1.0\"?>\r\n  <function name=\"sync_user_data\"></function>\r\n"},
};

class CoreRequestsE2e : public testing::Test {
protected:
    void SetUp() override { qv_sim_core_reset(); }
    void TearDown() override
    {
        qv_sim_core_reset();
        qv_clear_trace_switch();
        qv_delete_trace_file();
    }

    void expect_one_request(const QV_run_result& run, const Core_option& option)
    {
        EXPECT_TRUE(run.started);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("", run.err);
        EXPECT_TRUE(run.boxes.empty());
        std::vector<QV_sim_core_call> journal = qv_sim_core_journal();
        ASSERT_EQ(1u, journal.size());
        EXPECT_EQ(option.document, journal[0].request);
        EXPECT_EQ(L"user", journal[0].object_class);
        EXPECT_NE(GetCurrentProcessId(), journal[0].process_id);
        EXPECT_TRUE(journal[0].serial_mutex_owned);
    }
};

TEST_F(CoreRequestsE2e, EachOptionSendsItsDocumentAndShowsNothing)
{
    for (const Core_option& option : OPTIONS) {
        SCOPED_TRACE(option.option);
        qv_sim_core_reset();
        expect_one_request(run_console({option.option}), option);
        qv_sim_core_reset();
        expect_one_request(run_gui({option.option}), option);
    }
}

TEST_F(CoreRequestsE2e, AFailingCoreStillShowsNothing)
{
    qv_sim_core_set_answer({E_FAIL, 0, L"the core failed"});
    expect_one_request(run_gui({L"-ogp_log_on"}), OPTIONS[0]);
}

TEST_F(CoreRequestsE2e, TheDispatcherAnnouncesTheCallAfterTheClientIsMade)
{
    qv_clear_trace_switch();
    qv_set_trace_switch(HKEY_CURRENT_USER, 1);
    qv_delete_trace_file();
    run_console({L"-sync_user_data"});
    std::wstring trace = qv_read_trace_text();
    size_t made = trace.find(L" DX_core_com::DX_core_com[0](user-mode)\n");
    size_t announced = trace.find(L"!Dx_shell_dispatch: Calling sync\n");
    size_t called = trace.find(L" DX_core_com::sync_user_data[0]\n");
    ASSERT_NE(std::wstring::npos, made) << trace;
    ASSERT_NE(std::wstring::npos, announced) << trace;
    EXPECT_LT(made, announced);
    EXPECT_LT(announced, called);
}

} // namespace
