// Force delete: nothing outside the path changes; whatever of the path remains
// is reported; the driver is asked to exempt and unexempt the process once each,
// or neither. The tree scenarios go through the whole removal by handle: the
// open of the root, every look, listing, relative open, clearing of a read-only
// attribute and disposition fails and ends in turn.

#include "sweep.h"

#include "qv_sim_driver_state.h"
#include "qv_test_files.h"

#include "shell/dx_shell_commands.h"

#include <algorithm>

namespace {

const std::string NEIGHBOUR_BYTES = "beside the path, never deleted\r\n";
const std::string FAILED = "Failed to force delete ";

enum class Shape { file, tree, deep_tree };

class Force_delete : public Sweep_scenario {
public:
    Force_delete(const wchar_t* name, Shape shape) : Sweep_scenario(name), shape_(shape) {}

    void prepare() override
    {
        sweep_write(at(L"neighbour.txt"), NEIGHBOUR_BYTES);
        if (shape_ == Shape::file)
            sweep_write(victim(), "victim\r\n");
        else
            make_tree();
        journal_before_ = qv_sim_driver_journal().size();
        victim_left_ = true;
    }

    void run() override { dx_shell_force_delete(false, victim().c_str(), true); }

    std::string broken(const Sweep_run& run) override
    {
        std::string what = outside_changed();
        if (!run.ended && sweep_exists(victim()) && run.out.find(FAILED) == std::string::npos)
            what += "part of the path remains and no failure was shown; ";
        unsigned exempt = count(L"exempt_current_process"), unexempt = count(L"unexempt_current_process");
        // A failed creation or call of the driver's component leaves its half of
        // the pair out of the driver's journal.
        bool one_failed = run.failed == QV_os_call::create_instance || run.failed == QV_os_call::component_call;
        bool paired = run.ended      ? exempt <= 1 && unexempt <= exempt
                      : one_failed ? exempt + unexempt == 1
                                   : exempt == unexempt && exempt <= 1;
        if (!paired)
            what += "exempt " + std::to_string(exempt) + " times, unexempt " + std::to_string(unexempt) + " times; ";
        journal_before_ = qv_sim_driver_journal().size();  // the next run counts afresh
        victim_left_ = sweep_exists(victim());
        return what;
    }

    std::string incomplete(const Sweep_run& run) override
    {
        std::string what = outside_changed();
        // A path already gone is a failure to report, not a fault.
        if (sweep_exists(victim()) || (victim_left_ && !run.out.empty()))
            what += "the path was not removed silently (\"" + run.out + "\"); ";
        if (count(L"exempt_current_process") != 1 || count(L"unexempt_current_process") != 1)
            what += "not exempted and unexempted once each; ";
        journal_before_ = qv_sim_driver_journal().size();
        return what;
    }

private:
    std::wstring victim() const { return at(L"victim"); }

    // Five levels of 60 characters: the bottom file lies beyond MAX_PATH.
    static std::wstring deep_tail()
    {
        std::wstring tail;
        for (int level = 0; level < 5; ++level)
            tail += (level ? L"\\" : L"") + std::wstring(60, static_cast<wchar_t>(L'a' + level));
        return tail + L"\\bottom.txt";
    }

    void make_tree() const
    {
        sweep_make_folder(victim());
        sweep_write(victim() + L"\\a.txt", "a\r\n");
        sweep_make_folder(victim() + L"\\sub");
        sweep_write(victim() + L"\\sub\\b.txt", "b\r\n");
        sweep_write(victim() + L"\\sub\\read-only.txt", "r\r\n");
        SetFileAttributesW(qv_long_form(victim() + L"\\sub\\read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        if (shape_ != Shape::deep_tree)
            return;
        std::wstring tail = deep_tail();
        for (size_t start = 0, end; (end = tail.find(L'\\', start)) != std::wstring::npos; start = end + 1)
            sweep_make_folder(victim() + L"\\" + tail.substr(0, end));
        sweep_write(victim() + L"\\" + tail, "bottom\r\n");
    }

    std::string outside_changed() const
    {
        std::vector<std::wstring> entries = sweep_entries(root());
        entries.erase(std::remove(entries.begin(), entries.end(), L"victim"), entries.end());
        if (entries != std::vector<std::wstring>{L"cwd", L"neighbour.txt"}
            || sweep_read(at(L"neighbour.txt")) != NEIGHBOUR_BYTES)
            return "something beside the path changed; ";
        return "";
    }

    unsigned count(const wchar_t* method) const
    {
        std::vector<QV_sim_driver_call> journal = qv_sim_driver_journal();
        unsigned found = 0;
        for (size_t i = journal_before_; i < journal.size(); ++i)
            found += journal[i].method == method;
        return found;
    }

    Shape shape_;
    size_t journal_before_ = 0;
    bool victim_left_ = true;  // whether the path was there when the run began
};

} // namespace

std::vector<std::unique_ptr<Sweep_scenario>> sweep_force_delete_scenarios()
{
    std::vector<std::unique_ptr<Sweep_scenario>> scenarios;
    scenarios.push_back(std::make_unique<Force_delete>(L"force_delete_file", Shape::file));
    scenarios.push_back(std::make_unique<Force_delete>(L"force_delete_tree", Shape::tree));
    scenarios.push_back(std::make_unique<Force_delete>(L"force_delete_deep_tree", Shape::deep_tree));
    return scenarios;
}
