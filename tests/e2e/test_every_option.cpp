// Every option of the program with its operand count reaches its command in both
// builds: none of them shows the usage text. The two uninstall options remove
// the product, so they run in the suite that installs it again (ForceUninstallInstalled).
// The four switch options run in UserModeTrace, each spelling in one build and
// each behaviour in both, with their texts: every run of them waits out the
// switch's pause, and both builds share the one option table.

#include "e2e_support.h"
#include "qv_sim_desktop_state.h"
#include "qv_sim_driver_state.h"
#include "qv_test_files.h"
#include "qv_trace_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::wstring>;

bool shows_usage(const QV_run_result& run)
{
    for (const QV_box& box : run.boxes) {
        if (box.text.rfind(L"Options: ", 0) == 0)
            return true;
    }
    return run.out.find("VLMKDSHELL.COM") != std::string::npos;
}

TEST(EveryOption, ReachesItsCommandInBothBuilds)
{
    std::wstring sandbox = qv_fresh_sandbox(L"every option");
    qv_sim_driver_reset();
    qv_sim_desktop_reset();
    const std::vector<Args> options = {
        {L"-begin_driver_trace", sandbox + L"\\driver.log"}, {L"-end_driver_trace"},
        {L"-change_tracing", L"QVFS_*CREATE=INFO"},
        {L"-collect_user_mode_trace", sandbox + L"\\traces.cab"},
        {L"-perform_version_self_test"},
        {L"-ogp_log_on"}, {L"-ogp_log_off"}, {L"-sync_user_data"},
        {L"-openattachment", sandbox + L"\\note.txt"},
        {L"-force_delete", sandbox + L"\\victim"}, {L"-force_delete_no_elevate", sandbox + L"\\victim"},
        {L"-is_attached", L"C:\\"}, {L"-get_guid", L"C:\\"},
        {L"-update_registry", L""},
        {L"-blind_copy", sandbox + L"\\note.txt", sandbox + L"\\copy.txt"},
    };
    for (bool gui : {false, true}) {
        for (const Args& args : options) {
            SCOPED_TRACE(testing::PrintToString(args[0]) + (gui ? " GUI build" : " console build"));
            qv_write_file(sandbox + L"\\note.txt", "note");
            qv_write_file(sandbox + L"\\victim", "victim");
            // The sandbox is the current folder: force delete is among the options.
            QV_run_result run = gui ? run_gui(args, sandbox.c_str()) : run_console(args, sandbox.c_str());
            EXPECT_EQ(0u, run.exit_code);
            EXPECT_FALSE(run.timed_out);
            EXPECT_FALSE(shows_usage(run));
        }
    }
    qv_clear_trace_switch();
    qv_sim_driver_reset();
    qv_sim_desktop_reset();
    qv_remove_tree(sandbox);
}

} // namespace
