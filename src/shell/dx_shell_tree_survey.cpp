#include "shell/dx_shell_tree_survey.h"

#include "base/qv_tree_delete.h"
#include "base/qv_tree_walk.h"

#include <cwchar>

namespace {

bool is_link(DWORD attributes)
{
    return attributes & FILE_ATTRIBUTE_REPARSE_POINT;
}

// The plain path of such a name is normalised into another name.
bool is_odd_name(const wchar_t* name)
{
    size_t length = std::wcslen(name);
    return length && (name[length - 1] == L'.' || name[length - 1] == L' ');
}

// Notes one step of the walk; the walk goes on to its end whatever it finds, so
// that a tree is known whole or known incomplete.
void note(const QV_walk_step& step, DX_tree_survey& survey)
{
    if (step.kind == QV_walk_step::folder_left)
        return;
    if (step.path_length >= MAX_PATH)
        survey.too_long = true;
    if (is_odd_name(step.name))
        survey.odd_name = true;
    if (is_link(step.attributes))
        survey.links.push_back({QV_string(step.path), step.attributes});
}

} // namespace

DX_tree_survey dx_survey_tree(const QV_string& full) noexcept
{
    DX_tree_survey survey;
    bool root = true;
    survey.error = qv_walk_tree(
        full,
        [&survey, &root](const QV_walk_step& step) {
            // The root comes first: when it is a link, it is the only entry there is.
            if (root)
                survey.is_link = is_link(step.attributes);
            root = false;
            note(step, survey);
            return true;
        },
        &survey.unlisted);
    return survey;
}

DWORD dx_remove_link(const DX_tree_link& link)
{
    return qv_remove_entry(qv_extended_path(link.path).c_str(), link.attributes);
}
