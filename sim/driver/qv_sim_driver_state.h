#pragma once
// The driver stand-in's state, as the stand-in (VlmKdDriverCom.dll) keeps it and
// the tests read and set it. A driver's state outlives the processes that talk
// to it, so the stand-in keeps everything in one folder of the prefix:
//
//   C:\ProgramData\VlmKdDriverSim\    (CSIDL_COMMON_APPDATA)\VlmKdDriverSim
//     journal.txt  one UTF-8 line per method call, appended under the mutex
//                  QV_SIM_DRIVER_MUTEX: "<pid>\t<method>[\t<argument>]...\n";
//                  arguments as the method received them (numbers in decimal,
//                  texts up to their first terminator, tabs and line ends as "?";
//                  is_attached's list up to its double terminator, each
//                  terminator as "\0": "disk 1\0\0")
//     levels.bin   73 bytes, byte i the level (0 OFF .. 8 ON) last set for flag i,
//                  0xFF for a flag never set
//     exempt\<pid> an empty file for each process that is exempted right now
//     tracing.txt  the absolute path of the driver trace file (UTF-16) while a
//                  trace is on; the trace file itself is UTF-8: the header line
//                  QV_SIM_DRIVER_TRACE_HEADER, then the journal line of every later
//                  call, then QV_SIM_DRIVER_TRACE_FOOTER written by the end call
//     answers.ini  section [answers], set by tests (absent keys: the defaults):
//                    create_result       HRESULT (hex) CreateInstance fails with; 0
//                    all_fail            1: every method answers E_FAIL, changes
//                                        nothing, writes no output (still journaled)
//                    is_attached_result  HRESULT (hex); 0
//                    is_attached_status  status (hex), or "untouched"; 1
//                    guid_result         HRESULT (hex); 0
//                    guid_text           the GUID text, or "(none)" for no string;
//                                        QV_SIM_DRIVER_DEFAULT_GUID
//                    copy_result         what copy_special_info answers (hex) when
//                                        its copy worked; 0
//
// copy_special_info carries a file's special information over for real: the
// information of <file> is the sidecar file "<file>.dxsi", copied to the
// destination's sidecar (no sidecar at the source: nothing to copy, success).
//
// Encrypted files. The driver offers an encrypted file under its name followed by
// the suffix U+ECF0 (force delete), and a file for a blind copy under its name
// followed by U+ECF7. The stand-in resolves no names: under it, a file literally
// named with the suffix stands for "the driver offers this file under that name".
//
// Tests reset the state at their start (qv_sim_driver_reset), so the suites stay
// independent of their order.

#include "qv_sim_journal.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

inline constexpr wchar_t QV_SIM_DRIVER_MUTEX[] = L"Local\\VlmKdDriverSim";
inline constexpr wchar_t QV_SIM_DRIVER_DEFAULT_GUID[] = L"{6B29FC40-CA47-1067-B31D-00DD010662DA}";
inline constexpr char QV_SIM_DRIVER_TRACE_HEADER[] = "VlmKdDriverCom trace\n";
inline constexpr char QV_SIM_DRIVER_TRACE_FOOTER[] = "VlmKdDriverCom trace ends\n";
inline constexpr wchar_t QV_SIM_DRIVER_SIDECAR[] = L".dxsi";
inline constexpr wchar_t QV_SIM_ENCRYPTED_SUFFIX = 0xECF0;
inline constexpr wchar_t QV_SIM_BLIND_COPY_SUFFIX = 0xECF7;
inline constexpr int QV_SIM_DRIVER_FLAGS = 73;
inline constexpr unsigned char QV_SIM_LEVEL_NEVER_SET = 0xFF;

// The state folder, with a trailing backslash, and a file in it.
inline std::wstring qv_sim_driver_file(const wchar_t* name = L"")
{
    wchar_t common[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::wstring(common) + L"\\VlmKdDriverSim\\" + name;
}

// One journal line taken apart.
struct QV_sim_driver_call {
    DWORD pid = 0;
    std::wstring method;
    std::vector<std::wstring> arguments;
};

inline QV_sim_driver_call qv_sim_parse_call(const std::vector<std::wstring>& fields)
{
    QV_sim_driver_call call;
    call.pid = wcstoul(fields[0].c_str(), nullptr, 10);
    call.method = fields.size() > 1 ? fields[1] : L"";
    if (fields.size() > 2)
        call.arguments.assign(fields.begin() + 2, fields.end());
    return call;
}

// Every call in the journal, oldest first; with a pid, only that process's.
inline std::vector<QV_sim_driver_call> qv_sim_driver_journal(DWORD pid = 0)
{
    std::vector<QV_sim_driver_call> calls;
    for (const std::vector<std::wstring>& fields : qv_sim_journal_lines(qv_sim_driver_file(L"journal.txt"))) {
        QV_sim_driver_call call = qv_sim_parse_call(fields);
        if (pid == 0 || call.pid == pid)
            calls.push_back(call);
    }
    return calls;
}

// The level of each flag (QV_SIM_LEVEL_NEVER_SET for flags never set).
inline std::vector<unsigned char> qv_sim_driver_levels()
{
    std::string bytes = qv_sim_read_bytes(qv_sim_driver_file(L"levels.bin"));
    std::vector<unsigned char> levels(QV_SIM_DRIVER_FLAGS, QV_SIM_LEVEL_NEVER_SET);
    for (size_t i = 0; i < bytes.size() && i < levels.size(); ++i)
        levels[i] = static_cast<unsigned char>(bytes[i]);
    return levels;
}

inline bool qv_sim_driver_exempts(DWORD pid)
{
    std::wstring marker = qv_sim_driver_file(L"exempt\\") + std::to_wstring(pid);
    return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Sets one answer of the stand-in (see answers.ini above).
inline void qv_sim_driver_answer(const wchar_t* key, const wchar_t* value)
{
    WritePrivateProfileStringW(L"answers", key, value, qv_sim_driver_file(L"answers.ini").c_str());
}

// Forgets everything: journal, levels, exemptions, trace state and answers.
inline void qv_sim_driver_reset()
{
    std::wstring exempt = qv_sim_driver_file(L"exempt\\");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((exempt + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((exempt + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    for (const wchar_t* name : {L"journal.txt", L"levels.bin", L"tracing.txt", L"answers.ini"})
        DeleteFileW(qv_sim_driver_file(name).c_str());
    SHCreateDirectoryExW(nullptr, exempt.c_str(), nullptr);
}
