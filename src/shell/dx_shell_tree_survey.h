#pragma once
// What lies under a path before force delete hands it to the shell's delete,
// found without following any link. The shell's delete walks into links (and so
// deletes what they point to), and meeting a path longer than it can hold it has
// been seen to work on the current folder instead.

#include "base/qv_string.h"

#include <vector>

// A link as the walk saw it: its own attributes, not its target's (which may be
// missing).
struct DX_tree_link {
    QV_string path;
    bool folder = false;
};

struct DX_tree_survey {
    bool complete = false;         // the walk ran to its end or to the first path too long
    bool is_link = false;          // the path itself is a link: links holds it alone
    bool too_long = false;         // some path in the tree has MAX_PATH characters or more
    std::vector<DX_tree_link> links;  // the links inside the tree, as absolute paths
};

// Walks the tree at an absolute path. A path that names nothing, or a file, gives
// a complete survey with nothing found. Out of memory gives an incomplete one.
DX_tree_survey dx_survey_tree(const QV_string& full) noexcept;

// The "\\?\" form of an absolute path, for every path the survey touches, short
// ones too: it reaches a name exactly as listed (one ending in a dot or a space
// included), where the plain form would be normalised into another name.
QV_string dx_long_form(const QV_string& full);

// Removes a link itself, never what it points to. False, with the error as the
// last error, when it stays.
bool dx_remove_link(const DX_tree_link& link);
