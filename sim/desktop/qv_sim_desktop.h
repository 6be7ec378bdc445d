#pragma once
// The stand-in's pieces: the journal it writes, the answers it reads, and the
// reference it may keep past the extension's end.

#include "qv_sim_desktop_state.h"

#include <objidl.h>

#include <initializer_list>
#include <string>
#include <vector>

struct Sim_desktop_answers {
    bool no_context_menu = false;
    HRESULT invoke_result = S_OK;
    bool keep_reference = false;
};

Sim_desktop_answers sim_desktop_read_answers();

// Appends one journal line of the given fields.
void sim_desktop_record(std::initializer_list<std::wstring> fields);

// 8 hex digits.
std::wstring sim_desktop_hex(HRESULT value);

// Journals what a shell consumer reads from data: the formats offered, the
// QueryGetData answers, and the paths of both formats.
void sim_desktop_read_data_object(IDataObject* data);

// The names of the data object's CF_HDROP payload, read with DragQueryFileW.
HRESULT sim_desktop_drop_paths(IDataObject* data, std::vector<std::wstring>& paths);

// A new extension for interface iid.
HRESULT sim_desktop_create(REFIID iid, void** out);

// Holds data (one reference of the caller's) until sim_desktop_use_kept.
void sim_desktop_keep(IDataObject* data);
// Uses and gives back the kept reference, journaling both; nothing when none is kept.
void sim_desktop_use_kept();
