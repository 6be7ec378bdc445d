#pragma once
// What lies under a path before force delete hands it to the shell's delete,
// found without following any link. The shell's delete walks into links (and so
// deletes what they point to), and meeting a path longer than it can hold it has
// been seen to work on the current folder instead.

#include "base/qv_string.h"

#include <windows.h>

#include <vector>

// A link as the walk saw it: its own attributes, not its target's (which may be
// missing).
struct DX_tree_link {
    QV_string path;
    DWORD attributes = 0;
};

struct DX_tree_survey {
    DWORD error = ERROR_SUCCESS;   // why some part could not be listed; 0 when all was
    QV_string unlisted;            // the part that could not be listed
    bool is_link = false;          // the path itself is a link: links holds it alone
    bool too_long = false;         // some path in the tree has MAX_PATH characters or more
    bool odd_name = false;         // some name ends in a dot or a space
    std::vector<DX_tree_link> links;  // the links inside the tree, as absolute paths

    // Every part of the tree was listed: only then may anything act on it.
    bool complete() const { return error == ERROR_SUCCESS; }
    // The tree holds what the shell's delete cannot reach by its plain path.
    bool beyond_shell() const { return too_long || odd_name; }
};

// Walks the tree at an absolute path (plain or "\\?\"). A path that names
// nothing, or a part of the tree that cannot be listed, gives an incomplete
// survey whose error says why; links then holds only what was seen.
DX_tree_survey dx_survey_tree(const QV_string& full) noexcept;

// Removes a link itself, never what it points to. ERROR_SUCCESS when it is
// gone, else the Win32 error.
DWORD dx_remove_link(const DX_tree_link& link);
