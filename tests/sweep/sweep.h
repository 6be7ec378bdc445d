#pragma once
// The sweep: every file and registry call a writing command makes is failed in
// turn, and the process is ended right after each in turn; after each run the
// command's promises are checked against what is left on disk and in the registry.
//
// A scenario owns a sandbox folder under C:\sweep, runs its command in this
// process, and says what broke after an injected run and what is missing after a
// normal one. The runner (sweep_runner.cpp) does the rest.

#include "base/qv_os.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// What one run of a command left to look at.
struct Sweep_run {
    std::string out;
    std::string err;
    bool ended = false;                   // the process was ended after call k
    QV_os_call failed = QV_os_call::count;  // the call that failed, in a failure run
};

class Sweep_scenario {
public:
    explicit Sweep_scenario(std::wstring name);
    virtual ~Sweep_scenario() = default;
    Sweep_scenario(const Sweep_scenario&) = delete;
    Sweep_scenario& operator=(const Sweep_scenario&) = delete;

    const std::wstring& name() const { return name_; }
    // C:\sweep\<name>, and the current folder of every run inside it.
    const std::wstring& root() const { return root_; }
    std::wstring at(const std::wstring& relative) const { return root_ + L"\\" + relative; }

    // Sets the sandbox (and whatever the command reads outside it) as every run finds it.
    virtual void prepare() = 0;
    // The command, in this process, as the console build runs it.
    virtual void run() = 0;
    // What broke after an injected failure or end; empty when every promise held.
    virtual std::string broken(const Sweep_run& run) = 0;
    // What a normal run left undone; empty when the command completed.
    virtual std::string incomplete(const Sweep_run& run) = 0;
    // Puts back what the scenario changed outside its sandbox.
    virtual void finish() {}

private:
    std::wstring name_;
    std::wstring root_;
};

// Every scenario, in the order they run.
std::vector<std::unique_ptr<Sweep_scenario>> sweep_scenarios();

std::vector<std::unique_ptr<Sweep_scenario>> sweep_blind_copy_scenarios();
std::vector<std::unique_ptr<Sweep_scenario>> sweep_force_delete_scenarios();
std::vector<std::unique_ptr<Sweep_scenario>> sweep_trace_scenarios();
std::vector<std::unique_ptr<Sweep_scenario>> sweep_registry_scenarios();
std::vector<std::unique_ptr<Sweep_scenario>> sweep_component_scenarios();

// Where whole cabinets are kept for the independent reader run after the sweep.
const wchar_t* const SWEEP_CABINETS = L"C:\\sweep\\cabinets";

// Small file helpers of the scenarios.
bool sweep_exists(const std::wstring& path);
// The file's bytes; *found false (and empty bytes) when it cannot be read.
std::string sweep_read(const std::wstring& path, bool* found = nullptr);
void sweep_write(const std::wstring& path, const std::string& bytes);
void sweep_make_folder(const std::wstring& path);
// The folder's entries, sorted; "." and ".." left out.
std::vector<std::wstring> sweep_entries(const std::wstring& folder);
std::string sweep_narrow(const std::wstring& text);
// The names in have that are not in want, joined for a report.
std::string sweep_extra(const std::vector<std::wstring>& have, const std::vector<std::wstring>& want);
