// The runner: counts a command's calls, then fails each in turn and ends the
// process after each in turn (a child process of this program per end), checks
// the scenario's promises after every run and runs the command again normally.

#include "sweep.h"
#include "sweep_runner.h"

#include "qv_child.h"
#include "qv_os_faults.h"
#include "qv_test_files.h"
#include "qv_trace_file.h"
#include "shell_test_support.h"

#include "trace/qv_trace_seams.h"

#include <cstdio>

namespace {

using Mode = QV_os_faults::Mode;

const DWORD ERRORS[] = {ERROR_DISK_FULL, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
const char CANARY[] = "canary: the current folder of every run\r\n";

std::wstring cwd_of(const Sweep_scenario& scenario)
{
    return scenario.at(L"cwd");
}

// A fresh sandbox with its current folder and canary, the switch off unless the
// scenario sets it, and the trace writer as a new process finds it.
void prepare(Sweep_scenario& scenario)
{
    SetCurrentDirectoryW(L"C:\\");
    sweep_make_folder(L"C:\\sweep");
    qv_remove_tree(qv_long_form(scenario.root()));
    sweep_make_folder(scenario.root());
    sweep_make_folder(cwd_of(scenario));
    sweep_write(cwd_of(scenario) + L"\\canary.txt", CANARY);
    qv_clear_trace_switch();
    scenario.prepare();
    SetCurrentDirectoryW(cwd_of(scenario).c_str());
    qv_trace_reset_writer_state();
}

// The current folder is no place for anything a command writes or deletes.
std::string current_folder_changed(const Sweep_scenario& scenario)
{
    std::vector<std::wstring> entries = sweep_entries(cwd_of(scenario));
    if (entries != std::vector<std::wstring>{L"canary.txt"} || sweep_read(cwd_of(scenario) + L"\\canary.txt") != CANARY)
        return "the current folder changed";
    return "";
}

std::string joined(const std::string& a, const std::string& b)
{
    return a.empty() ? b : b.empty() ? a : a + "; " + b;
}

Sweep_run run_here(Sweep_scenario& scenario, Mode mode, unsigned k, DWORD error, std::vector<QV_os_call>* seen)
{
    Sweep_run run;
    {
        QV_stdout_capture out(STD_OUTPUT_HANDLE);
        QV_stdout_capture err(STD_ERROR_HANDLE);
        {
            QV_os_faults faults(mode, k, error);
            scenario.run();
            run.failed = faults.hit();
            if (seen)
                *seen = faults.seen();
        }
        run.out = out.text();
        run.err = err.text();
    }
    return run;
}

std::wstring self_path()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// Wine's rare failed start: exit 1, nothing written, nothing done. Tried once more.
bool failed_start(const QV_run_result& result)
{
    return result.exit_code == 1 && result.out.empty() && result.err.empty();
}

Sweep_run run_ended(Sweep_scenario& scenario, unsigned k, DWORD* exit_code)
{
    std::wstring line = qv_command_line(self_path(), {L"--end", scenario.name(), std::to_wstring(k)});
    QV_run_result result = qv_run_child(line, cwd_of(scenario).c_str());
    if (failed_start(result)) {
        prepare(scenario);
        result = qv_run_child(line, cwd_of(scenario).c_str());
    }
    SetCurrentDirectoryW(cwd_of(scenario).c_str());
    *exit_code = result.exit_code;
    Sweep_run run;
    run.ended = true;
    run.out = result.out;
    run.err = result.err;
    return run;
}

// The promises after an injected run, then a normal run that must complete.
std::string check(Sweep_scenario& scenario, const Sweep_run& run)
{
    std::string what = joined(scenario.broken(run), current_folder_changed(scenario));
    if (!what.empty())
        return what;
    qv_trace_reset_writer_state();
    Sweep_run again = run_here(scenario, Mode::count, 0, 0, nullptr);
    std::string missing = joined(scenario.incomplete(again), current_folder_changed(scenario));
    return missing.empty() ? "" : "the next normal run: " + missing;
}

void note(Sweep_tally& tally, const Sweep_scenario& scenario, unsigned k, QV_os_call call, const char* how,
          const std::string& what)
{
    if (what.empty()) {
        ++tally.held;
        return;
    }
    char head[256];
    _snprintf(head, sizeof head, "sweep %s: call %u (%s) %s: ", sweep_narrow(scenario.name()).c_str(), k,
              qv_os_call_name(call), how);
    tally.breaks.push_back(head + what);
}

const char* error_name(DWORD error)
{
    return error == ERROR_DISK_FULL ? "failed with ERROR_DISK_FULL"
           : error == ERROR_ACCESS_DENIED ? "failed with ERROR_ACCESS_DENIED"
                                          : "failed with ERROR_SHARING_VIOLATION";
}

// Every error at every call while the count is small (failures run in this
// process and cost little); beyond that the errors take turns by call.
constexpr size_t EVERY_ERROR_UP_TO = 12;

void sweep_failures(Sweep_scenario& scenario, const std::vector<QV_os_call>& calls, Sweep_tally& tally)
{
    bool every_error = calls.size() <= EVERY_ERROR_UP_TO;
    for (unsigned k = 1; k <= calls.size(); ++k) {
        for (unsigned turn = 0; turn < (every_error ? 3u : 1u); ++turn) {
            DWORD error = ERRORS[(k - 1 + turn) % 3];
            prepare(scenario);
            Sweep_run run = run_here(scenario, Mode::fail, k, error, nullptr);
            ++tally.failures;
            note(tally, scenario, k, calls[k - 1], error_name(error), check(scenario, run));
        }
    }
}

// A process ended after a call that only read ends as one ended before it: the
// ends go after the calls that change something.
void sweep_ends(Sweep_scenario& scenario, const std::vector<QV_os_call>& calls, Sweep_tally& tally)
{
    for (unsigned k = 1; k <= calls.size(); ++k) {
        if (!qv_os_call_changes(calls[k - 1]))
            continue;
        prepare(scenario);
        DWORD exit_code = 0;
        Sweep_run run = run_ended(scenario, k, &exit_code);
        ++tally.ends;
        std::string what = exit_code == QV_os_faults::END_EXIT_CODE
                               ? check(scenario, run)
                               : "the run did not reach the call (exit code " + std::to_string(exit_code) + ")";
        note(tally, scenario, k, calls[k - 1], "then ended", what);
    }
}

} // namespace

Sweep_tally sweep_scenario(Sweep_scenario& scenario)
{
    Sweep_tally tally;
    prepare(scenario);
    std::vector<QV_os_call> calls;
    Sweep_run first = run_here(scenario, Mode::count, 0, 0, &calls);
    tally.calls = static_cast<unsigned>(calls.size());
    std::string missing = joined(scenario.incomplete(first), current_folder_changed(scenario));
    if (!missing.empty())
        tally.breaks.push_back("sweep " + sweep_narrow(scenario.name()) + ": the normal run: " + missing);
    sweep_failures(scenario, calls, tally);
    sweep_ends(scenario, calls, tally);
    SetCurrentDirectoryW(L"C:\\");
    scenario.finish();
    qv_clear_trace_switch();
    return tally;
}

int sweep_end_child(const std::wstring& name, unsigned k)
{
    for (std::unique_ptr<Sweep_scenario>& scenario : sweep_scenarios()) {
        if (scenario->name() != name)
            continue;
        QV_os_faults faults(Mode::end, k);
        scenario->run();
        return 0;  // call k never came
    }
    return 2;
}
