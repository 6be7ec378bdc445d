#pragma once

#include "sweep.h"

#include <string>
#include <vector>

struct Sweep_tally {
    unsigned calls = 0;
    unsigned failures = 0;
    unsigned ends = 0;
    unsigned held = 0;
    std::vector<std::string> breaks;  // one line each: scenario, call k, its name, the fault, what broke
};

// Counts, fails and ends every call of the scenario's command; leaves the sandbox.
Sweep_tally sweep_scenario(Sweep_scenario& scenario);

// The child of an end run: the scenario's command, ended after its call k. Gives
// 0 when the command finished before call k came, 2 for an unknown scenario.
int sweep_end_child(const std::wstring& name, unsigned k);
