#include "shell/dx_shell_tree_survey.h"

#include "base/qv_tree_walk.h"

#include <new>

namespace {

bool is_link(DWORD attributes)
{
    return attributes & FILE_ATTRIBUTE_REPARSE_POINT;
}

bool is_folder(DWORD attributes)
{
    return attributes & FILE_ATTRIBUTE_DIRECTORY;
}

// Notes one step of the walk; the walk goes on to its end whatever it finds, so
// that a tree is known whole or known incomplete.
void note(const QV_walk_step& step, DX_tree_survey& survey)
{
    if (step.kind == QV_walk_step::folder_left)
        return;
    if (step.path_length >= MAX_PATH)
        survey.too_long = true;
    if (is_link(step.attributes))
        survey.links.push_back({QV_string(step.path), is_folder(step.attributes)});
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

bool dx_remove_link(const DX_tree_link& link)
{
    QV_string form = qv_extended_path(link.path);
    return link.folder ? RemoveDirectoryW(form.c_str()) != FALSE : DeleteFileW(form.c_str()) != FALSE;
}
