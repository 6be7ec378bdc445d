// The driver commands as a support engineer runs them, against the driver
// component stand-in: the texts of both builds, what the driver received, and
// what a component that fails or cannot be created leaves behind.

#include "e2e_support.h"
#include "qv_driver_registration.h"
#include "qv_sim_driver_state.h"
#include "qv_trace_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::wstring>;

const std::string RULE = "------------------------------------------------------------------------------\n";
const std::wstring CONSOLE_ONLY = L"This is a private test command and so only works from the console";

std::vector<std::wstring> methods(const std::vector<QV_sim_driver_call>& calls)
{
    std::vector<std::wstring> names;
    for (const QV_sim_driver_call& call : calls)
        names.push_back(call.method);
    return names;
}

class DriverCommands : public testing::Test {
protected:
    void SetUp() override { qv_sim_driver_reset(); }
    void TearDown() override { qv_sim_driver_reset(); }

    // The console build's output; the run itself must have gone as every run does.
    static std::string console(const Args& args)
    {
        QV_run_result run = run_console(args);
        EXPECT_TRUE(run.started && !run.timed_out);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_TRUE(run.boxes.empty());
        return run.out;
    }

    // The GUI build's one notice box, "caption|text".
    static std::wstring gui_box(const Args& args)
    {
        QV_run_result run = run_gui(args);
        EXPECT_EQ(0u, run.exit_code);
        if (run.boxes.size() != 1)
            return L"boxes: " + std::to_wstring(run.boxes.size());
        return run.boxes[0].caption + L"|" + run.boxes[0].text;
    }

private:
    static QV_driver_registration registration_;
};

QV_driver_registration DriverCommands::registration_;

TEST_F(DriverCommands, DriverTraceFileFollowsBeginChangeAndEnd)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring trace = std::wstring(temp) + L"driver trace.log";
    DeleteFileW(trace.c_str());

    EXPECT_EQ("\n" + RULE + " LOGGING: The application is now logging driver events to the file\n          " + narrow(trace)
                  + ".\n\n          To stop logging, type VlmKdShell.com -end_driver_trace\n" + RULE,
              console({L"-begin_driver_trace", trace}));
    EXPECT_EQ("QVDL_TRACE_ERRORS=DEBUG\n\n" + RULE + " LOGGING: The driver trace has been updated: QVDL_TRACE_ERRORS=DEBUG\n" + RULE,
              console({L"-change_tracing", L"QVDL_TRACE_ERRORS=DEBUG"}));
    EXPECT_EQ("\n" + RULE + " LOGGING: The application has now stopped logging driver events\n" + RULE,
              console({L"-end_driver_trace"}));

    std::vector<QV_sim_driver_call> calls = qv_sim_driver_journal();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ((std::vector<std::wstring>{trace}), calls[0].arguments);  // the path as typed
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"6"}), calls[1].arguments);
    std::string lines = qv_sim_read_bytes(trace);
    EXPECT_EQ(std::string(QV_SIM_DRIVER_TRACE_HEADER) + std::to_string(calls[1].pid) + "\tset_flag_level\t0\t6\n"
                  + std::to_string(calls[2].pid) + "\tend_trace_to_file\n" + QV_SIM_DRIVER_TRACE_FOOTER,
              lines);
    DeleteFileW(trace.c_str());
}

TEST_F(DriverCommands, FlagLinesComeInTableOrderBeforeTheNotice)
{
    EXPECT_EQ("QVFS_TRACE_CREATE=INFO\nQVFS_TRACE_SECTION_CREATE=INFO\n\n" + RULE
                  + " LOGGING: The driver trace has been updated: QVFS_*CREATE=INFO\n" + RULE,
              console({L"-change_tracing", L"QVFS_*CREATE=INFO"}));
    // A malformed setting sets nothing and is still reported, as typed.
    EXPECT_EQ("\n" + RULE + " LOGGING: The driver trace has been updated: %s%n\n" + RULE,
              console({L"-change_tracing", L"%s%n"}));
    EXPECT_EQ(2u, qv_sim_driver_journal().size());
}

struct Test_command_case {
    const wchar_t* option;
    std::vector<std::pair<const wchar_t*, const wchar_t*>> answers;
    std::string output;
    std::vector<std::wstring> calls;
};

TEST_F(DriverCommands, TestCommandsPrintTheDriversAnswer)
{
    const Test_command_case cases[] = {
        {L"-is_attached", {}, "result status=00000001.\n", {L"is_attached"}},
        {L"-is_attached", {{L"is_attached_status", L"untouched"}}, "result status=deadbeef.\n", {L"is_attached"}},
        {L"-is_attached", {{L"is_attached_result", L"80004005"}}, "failed HRESULT call_status=80004005\n", {L"is_attached"}},
        {L"-get_guid", {}, "result guid='{6B29FC40-CA47-1067-B31D-00DD010662DA}'",
         {L"query_device_guid", L"release_string"}},
        {L"-get_guid", {{L"guid_text", L"(none)"}}, "failed HRESULT call_status=00000000\n", {L"query_device_guid"}},
        {L"-get_guid", {{L"guid_result", L"80070005"}}, "failed HRESULT call_status=80070005\n", {L"query_device_guid"}},
        {L"-get_guid", {{L"all_fail", L"1"}}, "failed HRESULT call_status=80004005\n", {L"query_device_guid"}},
    };
    for (const Test_command_case& entry : cases) {
        SCOPED_TRACE(testing::Message() << entry.output);
        qv_sim_driver_reset();
        for (const auto& [key, value] : entry.answers)
            qv_sim_driver_answer(key, value);
        EXPECT_EQ(entry.output, console({entry.option, L"disk 1"}));
        std::vector<QV_sim_driver_call> calls = qv_sim_driver_journal();
        EXPECT_EQ(entry.calls, methods(calls));
        if (!calls.empty()) {
            // is_attached reads its argument as a list: it must end in two terminators.
            std::wstring argument = entry.calls[0] == L"is_attached" ? L"disk 1\\0\\0" : L"disk 1";
            EXPECT_EQ(std::vector<std::wstring>{argument}, calls[0].arguments);
        }
    }
}

TEST_F(DriverCommands, TestCommandsTraceTheCallAndTheDriversStatus)
{
    qv_sim_driver_answer(L"is_attached_result", L"80004005");
    qv_set_trace_switch(HKEY_CURRENT_USER, 1);
    const std::wstring RECORD = L" VlmKdShell!dx_dc_invoke_command: ";
    const std::vector<std::wstring> cases[] = {
        {L"-is_attached", L"calling driver->is_attached(\"disk 1\")\n", L"back again: call_status 80004005\n"},
        {L"-get_guid", L"calling driver->query_device_guid(\"disk 1\")\n", L"back again: call_status 00000000\n"},
    };
    for (const std::vector<std::wstring>& c : cases) {
        qv_delete_trace_file();
        console({c[0], L"disk 1"});
        std::wstring trace = qv_read_trace_text();
        size_t calling = trace.find(RECORD + c[1]), back = trace.find(RECORD + c[2]);
        EXPECT_NE(std::wstring::npos, calling) << narrow(c[1]);
        EXPECT_NE(std::wstring::npos, back) << narrow(c[2]);
        EXPECT_LT(calling, back);
    }
    qv_clear_trace_switch();
    qv_delete_trace_file();
}

TEST_F(DriverCommands, GuiBuildShowsEachNoticeAndRefusesTheTestCommands)
{
    const std::pair<Args, std::wstring> cases[] = {
        {{L"-begin_driver_trace", L"d.log"},
         L"VlmKdShell.exe|The application is now logging driver events to the file\nd.log\n\n"
         L"To stop logging, type VlmKdShell.exe -end_driver_trace"},
        {{L"-end_driver_trace"}, L"VlmKdShell.exe|The application has now stopped logging driver events."},
        {{L"-change_tracing", L"*=OFF"}, L"VlmKdShell.exe|The driver trace has been updated: *=OFF"},
        {{L"-is_attached", L"x"}, L"VlmKdShell.exe|" + CONSOLE_ONLY},
        {{L"-get_guid", L"x"}, L"VlmKdShell.exe|" + CONSOLE_ONLY},
    };
    for (const auto& [args, box] : cases)
        EXPECT_EQ(box, gui_box(args));
    // The test commands never reached the driver.
    std::vector<std::wstring> expected = {L"begin_trace_to_file", L"end_trace_to_file"};
    expected.resize(2 + 73, L"set_flag_level");
    EXPECT_EQ(expected, methods(qv_sim_driver_journal()));
    DeleteFileW(L"d.log");
}

TEST_F(DriverCommands, FailingComponentStillShowsTheNoticesThatIgnoreResults)
{
    qv_sim_driver_answer(L"all_fail", L"1");
    // A level the driver refused is neither listed nor announced as updated.
    EXPECT_EQ("", console({L"-change_tracing", L"QVDL_TRACE_TABLES=WARN"}));
    EXPECT_EQ("\n" + RULE + " LOGGING: The application has now stopped logging driver events\n" + RULE,
              console({L"-end_driver_trace"}));
    EXPECT_EQ("failed HRESULT call_status=80004005\n", console({L"-is_attached", L"x"}));
    EXPECT_EQ(QV_SIM_LEVEL_NEVER_SET, qv_sim_driver_levels()[1]);
}

TEST_F(DriverCommands, ComponentThatCannotBeCreatedLeavesOneTraceRecord)
{
    qv_sim_driver_answer(L"create_result", L"80040154");
    qv_set_trace_switch(HKEY_CURRENT_USER, 1);
    qv_delete_trace_file();
    EXPECT_EQ("", console({L"-end_driver_trace"}));
    EXPECT_EQ("", console({L"-is_attached", L"x"}));
    std::wstring trace = qv_read_trace_text();
    qv_clear_trace_switch();
    qv_delete_trace_file();
    const std::wstring record = L"VlmKdShell!dx_dc_invoke_command: Failed to create driver instance: 80040154\n";
    size_t records = 0;
    for (size_t at = 0; (at = trace.find(L"VlmKdShell!dx_dc_invoke_command: ", at)) != std::wstring::npos; ++at) {
        EXPECT_EQ(0, trace.compare(at, record.size(), record));
        ++records;
    }
    EXPECT_EQ(2u, records);
    EXPECT_TRUE(qv_sim_driver_journal().empty());
}

} // namespace
