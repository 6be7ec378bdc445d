#pragma once
// The core stand-in's state, shared by the stand-in and the tests: what it was
// asked (its journal) and what it answers. Both live in the registry of the
// current user, under HKCU\Software\QvSim\Core:
//
//   Hresult (REG_DWORD)        the HRESULT run_function returns; S_OK when absent
//   Result (REG_DWORD)         the 32-bit result written on success; 0 when absent
//   ErrorDescription (REG_SZ)  with a failing Hresult, set as the thread's error info
//   Journal\0000, \0001, ...   one key per call, in call order:
//       Class (REG_SZ)             "user" or "service": the object that was called
//       Function (REG_SZ)          the function element's name attribute
//       Parameters (REG_MULTI_SZ)  "name=text" per parameter element, in order
//       Request (REG_SZ)           the whole descrambled request text
//       ProcessId (REG_DWORD)      the calling process
//       SerialMutexOwned (REG_DWORD) 1 when the caller's thread owned the session's
//                                  serialisation mutex during the call, else 0
//
// A request that does not descramble is answered E_INVALIDARG and not journaled.

#include <windows.h>

#include <string>
#include <vector>

inline constexpr const wchar_t* QV_SIM_CORE_KEY = L"Software\\QvSim\\Core";

struct QV_sim_core_call {
    std::wstring object_class;
    std::wstring function;
    std::vector<std::wstring> parameters;
    std::wstring request;
    DWORD process_id = 0;
    bool serial_mutex_owned = false;
};

struct QV_sim_core_answer {
    HRESULT hr = S_OK;
    LONG result = 0;
    std::wstring error_description;
};

// Tests: removes the journal and the answer (back to S_OK and 0).
void qv_sim_core_reset();
void qv_sim_core_set_answer(const QV_sim_core_answer& answer);
std::vector<QV_sim_core_call> qv_sim_core_journal();

// The stand-in: what to answer, and one more journal entry.
QV_sim_core_answer qv_sim_core_answer();
void qv_sim_core_record(const QV_sim_core_call& call);
