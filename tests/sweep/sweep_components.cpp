// The commands that hand their work to a component or a started process:
// -change_tracing, attachment editing and force uninstall. Whatever fails, the
// command never shows a success it did not have: "updated" only over flags the
// driver holds at the level asked, nothing from attachment editing, and force
// uninstall's silence only when the installer was started.

#include "sweep.h"

#include "qv_sim_desktop_state.h"
#include "qv_sim_driver_state.h"

#include "base/qv_os_process.h"
#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_elevation.h"

namespace {

// "*_ERRORS=ERROR": six rows of the flag table to level 2.
const int ERROR_FLAGS[] = {0, 5, 14, 34, 42, 62};
constexpr unsigned char ERROR_LEVEL = 2;

class Change_tracing : public Sweep_scenario {
public:
    Change_tracing() : Sweep_scenario(L"change_tracing") {}

    void prepare() override { qv_sim_driver_reset(); }
    void run() override { dx_dc_invoke_command(false, L"change_tracing", L"*_ERRORS=ERROR"); }

    std::string broken(const Sweep_run& run) override
    {
        std::vector<unsigned char> levels = qv_sim_driver_levels();
        if (run.out.find("has been updated") != std::string::npos && unset(levels) > 0)
            return "\"updated\" shown while " + std::to_string(unset(levels)) + " flags are not at the level; ";
        return "";
    }

    std::string incomplete(const Sweep_run& run) override
    {
        std::string what;
        if (unset(qv_sim_driver_levels()) > 0)
            what += "flags are not at the level asked; ";
        if (run.out.find("has been updated") == std::string::npos)
            what += "no \"updated\" notice; ";
        return what;
    }

private:
    static int unset(const std::vector<unsigned char>& levels)
    {
        int count = 0;
        for (int flag : ERROR_FLAGS)
            count += levels.size() <= static_cast<size_t>(flag) || levels[flag] != ERROR_LEVEL;
        return count;
    }
};

class Open_attachment : public Sweep_scenario {
public:
    Open_attachment() : Sweep_scenario(L"open_attachment") {}

    void prepare() override
    {
        qv_sim_desktop_reset();
        sweep_write(at(L"note.txt"), "an attachment\r\n");
    }
    void run() override { dx_shell_open_attachment(false, at(L"note.txt").c_str()); }

    // What the user sees comes from the extension alone.
    std::string broken(const Sweep_run& run) override
    {
        return run.out.empty() && run.err.empty() ? "" : "the command showed \"" + run.out + run.err + "\"; ";
    }

    std::string incomplete(const Sweep_run& run) override
    {
        for (const std::vector<std::wstring>& line : qv_sim_desktop_journal()) {
            if (line.size() == 2 && line[0] == L"edit" && line[1] == at(L"note.txt"))
                return broken(run);
        }
        return "the extension was not asked to edit the file; " + broken(run);
    }
};

// The installer is never really started here: the launch goes through the layer
// with a command that does nothing, and the scenario keeps what was asked.
bool g_started = false;

HINSTANCE WINAPI harmless_launch(HWND owner, LPCWSTR verb, LPCWSTR, LPCWSTR, LPCWSTR folder, INT show)
{
    HINSTANCE result = qv_shell_execute(owner, verb, L"cmd.exe", L"/C exit 0", folder, show);
    g_started = reinterpret_cast<INT_PTR>(result) > 32;
    return result;
}

class Force_uninstall : public Sweep_scenario {
public:
    Force_uninstall() : Sweep_scenario(L"force_uninstall") {}

    void prepare() override {}
    void run() override
    {
        g_started = false;
        dx_shell_execute = harmless_launch;
        said_started_ = dx_shell_force_uninstall(false, false);
        dx_shell_execute = qv_shell_execute;
    }

    std::string broken(const Sweep_run& run) override
    {
        if (run.ended)
            return "";
        if (said_started_ != g_started)
            return std::string("the command says the installer ") + (said_started_ ? "started" : "failed") + "; ";
        if (!g_started && run.out.empty() && run.err.empty())
            return "the installer did not start and nothing was shown; ";
        return g_started && !(run.out.empty() && run.err.empty()) ? "the installer started, yet a failure was shown; "
                                                                  : "";
    }

    std::string incomplete(const Sweep_run& run) override
    {
        return g_started ? broken(run) : "the installer was not started; ";
    }

private:
    bool said_started_ = false;
};

} // namespace

std::vector<std::unique_ptr<Sweep_scenario>> sweep_component_scenarios()
{
    std::vector<std::unique_ptr<Sweep_scenario>> scenarios;
    scenarios.push_back(std::make_unique<Change_tracing>());
    scenarios.push_back(std::make_unique<Open_attachment>());
    scenarios.push_back(std::make_unique<Force_uninstall>());
    return scenarios;
}
