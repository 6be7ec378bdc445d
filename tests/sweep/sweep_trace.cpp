// The trace: a traced run keeps the trace file well formed and its caller's
// outcome and last error untouched; a collect leaves a whole archive or none, and
// says which; -eut and -dut leave the switch as they say.

#include "sweep.h"

#include "qv_machine_switch_denied.h"
#include "qv_sim_driver_state.h"
#include "qv_trace_file.h"

#include "base/qv_path.h"
#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_trace_files.h"
#include "trace/qv_trace.h"

#include <shlobj.h>

#include <cstring>

namespace {

const DWORD SENTINEL = 0x5EE71A57;
// Two lines an earlier process left: UTF-16LE with its byte-order mark.
std::string earlier_trace()
{
    std::wstring text = L"12:00:00 [1] an earlier record\n12:00:01 [1] another one\n";
    return std::string("\xFF\xFE", 2) + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

std::wstring system_trace_file()
{
    wchar_t windows[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, 0, windows);
    return std::wstring(windows) + L"\\Temp\\TraceFile.qv";
}

bool stamped(const std::wstring& line)
{
    size_t close = line.find(L"] ");
    return line.size() > 12 && close != std::wstring::npos && line[2] == L':' && line[5] == L':'
           && line.compare(8, 2, L" [") == 0;
}

// One byte-order mark, then whole stamped lines of UTF-16LE.
std::string malformed(const std::string& bytes)
{
    if (bytes.size() % 2 || bytes.compare(0, 2, "\xFF\xFE", 2) != 0)
        return "the trace file has an odd length or no byte-order mark; ";
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    if (text.find(L'\xFEFF') != std::wstring::npos)
        return "a second byte-order mark in the trace file; ";
    for (const std::wstring& line : qv_split_lines(text)) {
        if (!stamped(line) || line.back() != L'\n')
            return "a broken line in the trace file: \"" + sweep_narrow(line) + "\"; ";
    }
    return "";
}

// Records around a driver command: each record must leave the caller's last error
// as it found it, and the command must do what it does untraced. With no earlier
// trace file, the run creates one: a run cut short, or one whose mark could not be
// written, may leave it empty, never holding a record without its byte-order mark.
class Traced_run : public Sweep_scenario {
public:
    Traced_run(const wchar_t* name, bool earlier) : Sweep_scenario(name), earlier_(earlier) {}

    void prepare() override
    {
        qv_set_trace_switch(HKEY_CURRENT_USER, 1);
        if (earlier_)
            sweep_write(qv_trace_file_path(), earlier_trace());
        else
            DeleteFileW(qv_trace_file_path().c_str());
        system_before_ = sweep_read(system_trace_file(), &system_found_);
        pid_journal_ = qv_sim_driver_journal(GetCurrentProcessId()).size();
    }

    void run() override
    {
        last_error_kept_ = record(L"sweep record one\n");
        dx_dc_invoke_command(false, L"exempt_current_process", nullptr);
        dx_dc_invoke_command(false, L"unexempt_current_process", nullptr);
        last_error_kept_ = record(L"sweep record two\nand its second line\n") && last_error_kept_;
    }

    std::string broken(const Sweep_run& run) override
    {
        bool written = false;
        std::string bytes = sweep_read(qv_trace_file_path(), &written);
        std::string what = earlier_ || (written && !bytes.empty()) ? malformed(bytes) : "";
        if (earlier_ && bytes.compare(0, earlier_trace().size(), earlier_trace()) != 0)
            what += "the earlier records changed; ";
        bool found = false;
        if (sweep_read(system_trace_file(), &found) != system_before_ || found != system_found_)
            what += "the system trace file changed; ";
        if (!run.ended && !last_error_kept_)
            what += "a record changed the thread's last error; ";
        // A failed creation or call of the driver's component is the command's own
        // failure, not the records'.
        bool own_failure = run.failed == QV_os_call::create_instance || run.failed == QV_os_call::component_call;
        if (!driver_called() && !run.ended && !own_failure)
            what += "the command's own outcome changed; ";
        return what;
    }

    std::string incomplete(const Sweep_run&) override
    {
        std::string what = malformed(sweep_read(qv_trace_file_path()));
        std::wstring text = qv_read_trace_text();
        if (text.find(L"sweep record one\n") == std::wstring::npos || text.find(L"and its second line\n") == std::wstring::npos)
            what += "the records are not in the trace file; ";
        if (!driver_called() || !last_error_kept_)
            what += "the command's outcome or last error differs; ";
        return what;
    }

    void finish() override { qv_delete_trace_file(); }

private:
    static bool record(const wchar_t* text)
    {
        SetLastError(SENTINEL);
        qv_trace_printf(L"sweep", text);
        return GetLastError() == SENTINEL;
    }

    bool driver_called()
    {
        std::vector<QV_sim_driver_call> calls = qv_sim_driver_journal(GetCurrentProcessId());
        bool called = calls.size() == pid_journal_ + 2 && calls[pid_journal_].method == L"exempt_current_process"
                      && calls[pid_journal_ + 1].method == L"unexempt_current_process";
        pid_journal_ = calls.size();
        return called;
    }

    bool earlier_;
    std::string system_before_;
    bool system_found_ = false;
    size_t pid_journal_ = 0;
    bool last_error_kept_ = false;
};

const std::string USER_TRACE = earlier_trace();
const std::string SYSTEM_TRACE = std::string("\xFF\xFE", 2) + std::string("s\0y\0s\0\n\0", 8);

template <typename Number>
Number field(const std::string& bytes, size_t offset)
{
    Number value = 0;
    if (offset + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// A whole archive is as long as its header says (FCI writes the size last) and
// records each member at its trace file's full size. A trace file the writer
// could not open is left out (the collect goes on without it), so it holds one
// member or two; the reader after the sweep checks their bytes.
bool whole_cabinet(const std::string& bytes)
{
    if (bytes.size() < 36 || bytes.compare(0, 4, "MSCF") != 0 || field<uint32_t>(bytes, 8) != bytes.size())
        return false;
    uint16_t files = field<uint16_t>(bytes, 28);
    size_t entry = field<uint32_t>(bytes, 16);
    for (uint16_t i = 0; i < files; ++i) {
        size_t name_end = bytes.find('\0', entry + 16);
        if (name_end == std::string::npos)
            return false;
        std::string name = bytes.substr(entry + 16, name_end - entry - 16);
        size_t want = name == "SysTraceFile.qv" ? SYSTEM_TRACE.size() : name == "UsrTraceFile.qv" ? USER_TRACE.size() : 0;
        if (field<uint32_t>(bytes, entry) != want)
            return false;
        entry = name_end + 1;
    }
    return files == 1 || files == 2;
}


class Collect : public Sweep_scenario {
public:
    Collect() : Sweep_scenario(L"collect") {}

    void prepare() override
    {
        if (!saved_) {
            system_saved_ = sweep_read(system_trace_file(), &system_existed_);
            saved_ = true;
        }
        sweep_make_folder(at(L"tmp"));
        sweep_make_folder(at(L"out"));
        // The writer's scratch files and the user's trace file both follow TMP.
        SetEnvironmentVariableW(L"TMP", at(L"tmp").c_str());
        sweep_write(at(L"tmp\\TraceFile.qv"), USER_TRACE);
        sweep_write(system_trace_file(), SYSTEM_TRACE);
        sweep_make_folder(SWEEP_CABINETS);
        sweep_write(std::wstring(SWEEP_CABINETS) + L"\\UsrTraceFile.qv", USER_TRACE);
        sweep_write(std::wstring(SWEEP_CABINETS) + L"\\SysTraceFile.qv", SYSTEM_TRACE);
    }

    void run() override { dx_shell_collect_user_mode_trace(false, at(L"out\\trace").c_str()); }

    std::string broken(const Sweep_run& run) override
    {
        std::string what = traces_changed();
        unsigned whole = 0;
        for (const std::wstring& name : sweep_entries(at(L"out"))) {
            if (name.size() > 8 && name.compare(name.size() - 8, 8, L".partial") == 0) {
                if (!run.ended)
                    what += "a reservation was left: " + sweep_narrow(name) + "; ";
            } else if (!keep_if_whole(at(L"out\\" + name))) {
                what += "a cabinet that is not whole (or holds a cut trace file) under " + sweep_narrow(name) + "; ";
            } else {
                ++whole;
            }
        }
        std::string extra = sweep_extra(sweep_entries(at(L"tmp")), {L"TraceFile.qv"});
        if (!run.ended && !extra.empty())
            what += "scratch files were left: " + extra + "; ";
        bool said_done = run.out.find("gathered the user mode trace files") != std::string::npos;
        bool said_failed = run.out.find("Failed to gather user mode trace files!") != std::string::npos;
        if (!run.ended && (said_done != (whole == 1) || said_failed == said_done))
            what += "the text does not tell the archive's fate: \"" + run.out + "\"; ";
        return what;
    }

    std::string incomplete(const Sweep_run& run) override
    {
        std::string what = traces_changed();
        size_t start = run.out.find(" C:\\");
        size_t end = run.out.find('\n', start == std::string::npos ? 0 : start);
        std::string named = start == std::string::npos || end == std::string::npos ? "" : run.out.substr(start + 1, end - start - 1);
        if (named.empty() || !keep_if_whole(std::wstring(named.begin(), named.end())))
            what += "no whole archive under the name the text gives: \"" + run.out + "\"; ";
        for (const std::wstring& name : sweep_entries(at(L"out"))) {
            if (name.find(L".partial") != std::wstring::npos)
                what += "a reservation stays after a complete run: " + sweep_narrow(name) + "; ";
        }
        return what;
    }

    void finish() override
    {
        SetEnvironmentVariableW(L"TMP", nullptr);
        if (system_existed_)
            sweep_write(system_trace_file(), system_saved_);
        else
            DeleteFileW(system_trace_file().c_str());
    }

private:
    std::string traces_changed() const
    {
        bool changed = sweep_read(at(L"tmp\\TraceFile.qv")) != USER_TRACE || sweep_read(system_trace_file()) != SYSTEM_TRACE;
        return changed ? "a trace file changed; " : "";
    }

    // A whole cabinet is copied aside for the independent reader after the sweep.
    bool keep_if_whole(const std::wstring& path)
    {
        if (!whole_cabinet(sweep_read(path)))
            return false;
        std::wstring kept = std::wstring(SWEEP_CABINETS) + L"\\" + std::to_wstring(++kept_) + L".cab";
        return CopyFileW(path.c_str(), kept.c_str(), FALSE) != FALSE;
    }

    bool saved_ = false;
    bool system_existed_ = false;
    std::string system_saved_;
    unsigned kept_ = 0;
};

// One root's switch as the writer reads it: a 4-byte REG_DWORD 1.
bool root_switch_on(HKEY root)
{
    DWORD type = 0, value = 0, size = sizeof value;
    return RegGetValueW(root, QV_LOGGING_KEY, QV_TRACE_SWITCH_VALUE, RRF_RT_ANY, &type, &value, &size) == ERROR_SUCCESS
           && type == REG_DWORD && size == 4 && value == 1;
}

// The system's text for code as the console build writes it to standard error.
std::string system_text(DWORD code)
{
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
    char bytes[1024] = {};
    WideCharToMultiByte(CP_OEMCP, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return bytes;
}

// -eut and -dut say what became of the switch: the success text only when both
// roots' switches are as asked, else the system's text on standard error. Without
// rights (the machine's key denied to writes) the machine's switch can never be
// as asked, and the user's is switched all the same.
class Switch : public Sweep_scenario {
public:
    Switch(const wchar_t* name, bool enable, const char* said, bool denied = false)
        : Sweep_scenario(name), enable_(enable), said_(said), denied_(denied) {}

    void prepare() override
    {
        if (!enable_) {
            qv_set_trace_switch(HKEY_CURRENT_USER, 1);
            qv_set_trace_switch(HKEY_LOCAL_MACHINE, 1);
        }
        machine_.reset();  // lifts the last run's denial before the next is made
        if (denied_)
            machine_ = std::make_unique<QV_machine_switch_denied>(!enable_);
        sweep_write(dx_shell_user_trace_file().c_str(), earlier_trace());
    }

    void run() override { dx_shell_set_user_mode_trace(false, enable_); }

    std::string broken(const Sweep_run& run) override
    {
        if (run.ended)
            return "";
        bool said = run.out.find(said_) != std::string::npos;
        if (said != run.err.empty())
            return std::string(said ? "both \"" : "neither \"") + said_ + "\" and a failure shown; ";
        return said ? not_as_said() : "";
    }

    std::string incomplete(const Sweep_run& run) override
    {
        bool said = run.out.find(said_) != std::string::npos;
        if (!denied_)
            return said && run.err.empty() ? not_as_said() : "the text is not \"" + std::string(said_) + "\" alone; ";
        std::string what;
        if (said || run.err != system_text(ERROR_ACCESS_DENIED))
            what = "the denial is not shown: \"" + run.out + "\", \"" + run.err + "\"; ";
        if (root_switch_on(HKEY_CURRENT_USER) != enable_)
            what += "the user's switch is not as asked; ";
        return what;
    }

    void finish() override
    {
        machine_.reset();
        qv_clear_trace_switch();
    }

private:
    std::string not_as_said() const
    {
        std::string what;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            if (root_switch_on(root) != enable_)
                what += std::string("it says \"") + said_ + "\" but the " + (root == HKEY_CURRENT_USER ? "user's" : "machine's")
                        + " switch is " + (enable_ ? "off; " : "on; ");
        }
        return what;
    }

    bool enable_;
    const char* said_;
    bool denied_;
    std::unique_ptr<QV_machine_switch_denied> machine_;
};

} // namespace

std::vector<std::unique_ptr<Sweep_scenario>> sweep_trace_scenarios()
{
    std::vector<std::unique_ptr<Sweep_scenario>> scenarios;
    scenarios.push_back(std::make_unique<Traced_run>(L"traced_run", true));
    scenarios.push_back(std::make_unique<Traced_run>(L"traced_run_new_file", false));
    scenarios.push_back(std::make_unique<Collect>());
    scenarios.push_back(std::make_unique<Switch>(L"enable_trace", true, "is now logging user mode events"));
    scenarios.push_back(std::make_unique<Switch>(L"disable_trace", false, "has now stopped logging user mode events"));
    scenarios.push_back(std::make_unique<Switch>(L"enable_trace_without_rights", true, "is now logging user mode events", true));
    scenarios.push_back(std::make_unique<Switch>(L"disable_trace_without_rights", false, "has now stopped logging user mode events", true));
    return scenarios;
}
