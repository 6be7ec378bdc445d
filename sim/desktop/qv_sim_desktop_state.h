#pragma once
// The desktop integration stand-in's state, as the stand-in
// (VlmKdDesktopIntegration.dll) keeps it and the tests read and set it, in one
// folder of the prefix:
//
//   C:\ProgramData\VlmKdDesktopSim\    (CSIDL_COMMON_APPDATA)\VlmKdDesktopSim
//     journal.txt  one UTF-8 line per event, fields separated by tabs:
//                    Initialize  <folder: "null" or "set">  <data object: "null" or "set">  <key: "null" or "set">
//                    format      <format name or number>  <"null" or "set" device>  <aspect>  <lindex>  <tymed>
//                                (one line per record EnumFormatEtc gave, in order)
//                    query       <format name or number>  <QueryGetData's HRESULT, 8 hex digits>
//                                (asked for "Shell IDList Array" and for 15, both with TYMED_HGLOBAL)
//                    idlist      <path>    one per item: parent + item resolved by SHGetPathFromIDListW
//                    idlist-failed  <GetData's HRESULT>  when no array came
//                    hdrop       <path>    one per name DragQueryFileW gives
//                    hdrop-failed   <GetData's HRESULT>
//                    InvokeCommand  <verb, or "#<n>" for a command number>  <cbSize>
//                    edit        <path>    the file the extension would open for editing
//                    kept        QueryGetData  <HRESULT>   (keep_reference only: the
//                    kept        Release  <count left>      reference used at unload)
//     answers.ini  section [answers], set by tests (absent keys: the defaults):
//                    no_context_menu  1: the object does not answer IContextMenu; 0
//                    invoke_result    HRESULT (hex) InvokeCommand answers; 0
//                    keep_reference   1: one reference to the data object is kept
//                                     past the object's end and used, then given
//                                     back, when COM asks whether the DLL can go; 0
//
// A stand-in: it opens nothing for editing, it only journals that it would.
// Tests reset the state at their start (qv_sim_desktop_reset).

#include "qv_sim_journal.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// The state folder, with a trailing backslash, and a file in it.
inline std::wstring qv_sim_desktop_file(const wchar_t* name = L"")
{
    wchar_t common[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::wstring(common) + L"\\VlmKdDesktopSim\\" + name;
}

inline std::vector<std::vector<std::wstring>> qv_sim_desktop_journal()
{
    return qv_sim_journal_lines(qv_sim_desktop_file(L"journal.txt"));
}

// Sets one answer of the stand-in (see answers.ini above).
inline void qv_sim_desktop_answer(const wchar_t* key, const wchar_t* value)
{
    WritePrivateProfileStringW(L"answers", key, value, qv_sim_desktop_file(L"answers.ini").c_str());
}

// Forgets the journal and the answers.
inline void qv_sim_desktop_reset()
{
    SHCreateDirectoryExW(nullptr, qv_sim_desktop_file().c_str(), nullptr);
    DeleteFileW(qv_sim_desktop_file(L"journal.txt").c_str());
    DeleteFileW(qv_sim_desktop_file(L"answers.ini").c_str());
}
