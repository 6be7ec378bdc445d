// Blind copy: the destination name holds the whole old file or the whole new one
// after every fault; nothing else in its folder changes; a failure is reported
// whenever the new file is not in place.

#include "sweep.h"

#include "shell/dx_shell_commands.h"

namespace {

const std::string NEW_BYTES = "the new file: every byte of it\r\n";
const std::string NEW_SUFFIXED_BYTES = "the new file as the driver offers it\r\n";
const std::string OLD_BYTES = "the old destination, which must never be lost\r\n";
const std::string NEIGHBOUR_BYTES = "a neighbour in the destination folder\r\n";
const wchar_t BLIND = L'\xECF7';

struct Blind_copy_setup {
    const wchar_t* name;
    const wchar_t* typed_destination;  // relative to the sandbox
    const wchar_t* target;             // the name the file lands under, in d
    bool old_exists;
    bool suffixed;  // the driver offers the source under its blind-copy name
};

class Blind_copy : public Sweep_scenario {
public:
    explicit Blind_copy(const Blind_copy_setup& setup) : Sweep_scenario(setup.name), setup_(setup) {}

    void prepare() override
    {
        sweep_make_folder(at(L"s"));
        sweep_make_folder(at(L"d"));
        sweep_write(at(L"s\\a.txt"), NEW_BYTES);
        if (setup_.suffixed)
            sweep_write(at(L"s\\a.txt") + BLIND, NEW_SUFFIXED_BYTES);
        sweep_write(at(L"d\\neighbour.txt"), NEIGHBOUR_BYTES);
        if (setup_.old_exists)
            sweep_write(target(), OLD_BYTES);
    }

    void run() override { dx_shell_blind_copy(false, QV_path(at(L"s\\a.txt").c_str()), QV_path(at(setup_.typed_destination).c_str())); }

    std::string broken(const Sweep_run& run) override
    {
        bool found = false;
        std::string held = sweep_read(target(), &found);
        std::string what = sources_changed();
        if (found && held != new_bytes() && !(setup_.old_exists && held == OLD_BYTES))
            what += "the destination holds a partial or foreign file (" + std::to_string(held.size()) + " bytes); ";
        if (!found && setup_.old_exists)
            what += "the destination name holds neither the old nor the new file; ";
        if (sweep_read(at(L"d\\neighbour.txt")) != NEIGHBOUR_BYTES)
            what += "the neighbour changed; ";
        // A temporary file may stay when the process ended, or when its own removal failed.
        bool may_leave = run.ended || run.failed == QV_os_call::delete_file;
        std::string extra = sweep_extra(sweep_entries(at(L"d")), expected_entries(found));
        if (!extra.empty() && !may_leave)
            what += "left in the destination folder: " + extra + "; ";
        if (!run.ended && held != new_bytes() && run.err.empty() && run.out.empty())
            what += "the new file is not in place and no failure was shown; ";
        return what;
    }

    std::string incomplete(const Sweep_run& run) override
    {
        std::string what = sources_changed();
        if (sweep_read(target()) != new_bytes())
            what += "the destination does not hold the new file; ";
        if (!run.out.empty() || !run.err.empty())
            what += "a successful copy showed \"" + run.out + run.err + "\"; ";
        return what;
    }

private:
    std::wstring target() const { return at(std::wstring(L"d\\") + setup_.target) + (setup_.suffixed ? std::wstring(1, BLIND) : L""); }
    const std::string& new_bytes() const { return setup_.suffixed ? NEW_SUFFIXED_BYTES : NEW_BYTES; }

    std::vector<std::wstring> expected_entries(bool target_found) const
    {
        std::vector<std::wstring> names{L"neighbour.txt"};
        if (target_found)
            names.push_back(target().substr(at(L"d\\").size()));
        return names;
    }

    std::string sources_changed() const
    {
        bool changed = sweep_read(at(L"s\\a.txt")) != NEW_BYTES
                       || (setup_.suffixed && sweep_read(at(L"s\\a.txt") + BLIND) != NEW_SUFFIXED_BYTES)
                       || sweep_entries(at(L"s")).size() != (setup_.suffixed ? 2u : 1u);
        return changed ? "the source folder changed; " : "";
    }

    Blind_copy_setup setup_;
};

} // namespace

std::vector<std::unique_ptr<Sweep_scenario>> sweep_blind_copy_scenarios()
{
    const Blind_copy_setup setups[] = {
        {L"blind_copy_over_existing", L"d\\b.txt", L"b.txt", true, false},
        {L"blind_copy_new_name", L"d\\b.txt", L"b.txt", false, false},
        {L"blind_copy_onto_folder", L"d", L"a.txt", true, false},
        {L"blind_copy_suffixed_pair", L"d\\b.txt", L"b.txt", true, true},
    };
    std::vector<std::unique_ptr<Sweep_scenario>> scenarios;
    for (const Blind_copy_setup& setup : setups)
        scenarios.push_back(std::make_unique<Blind_copy>(setup));
    return scenarios;
}
