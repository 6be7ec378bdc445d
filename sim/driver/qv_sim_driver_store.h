#pragma once
// The stand-in's side of the shared state (qv_sim_driver_state.h): the journal,
// the flag levels, the exemptions, the driver trace file and the answers tests set.

#include "qv_sim_driver_state.h"

#include "base/qv_unique.h"

#include <initializer_list>
#include <string>

// What the tests asked the stand-in to answer.
struct Sim_driver_answers {
    HRESULT create_result = S_OK;
    bool all_fail = false;
    HRESULT is_attached_result = S_OK;
    bool is_attached_untouched = false;
    ULONG is_attached_status = 1;
    HRESULT guid_result = S_OK;
    std::wstring guid_text = QV_SIM_DRIVER_DEFAULT_GUID;  // "(none)": no string
    ULONG copy_result = 0;
};

Sim_driver_answers sim_driver_read_answers();

class Sim_driver_store {
public:
    Sim_driver_store();

    // One journal line, and the same line in the driver trace file while it is on.
    void record(const wchar_t* method, std::initializer_list<std::wstring> arguments);
    bool set_level(LONG flag, BYTE level);
    void set_exempt(bool exempt);
    void begin_trace(const wchar_t* path);
    void end_trace();

private:
    // The journal and the levels stay open for the object's life: a driver answers
    // a run of set_flag_level calls without reopening anything.
    QV_handle mutex_;
    QV_file journal_;
    QV_file levels_;
    std::wstring trace_path_;  // empty while no trace is on
};
