#include "shell/dx_shell_tree_survey.h"

#include "base/qv_os.h"
#include "base/qv_unique.h"

#include <windows.h>

#include <cwchar>
#include <new>

namespace {

bool is_link(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool is_folder(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_dot_entry(const wchar_t* name)
{
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// The folder's path with one separator after it, ready for a name.
QV_string with_separator(const QV_string& folder)
{
    unsigned length = folder.length();
    if (length && folder.c_str()[length - 1] == L'\\')
        return folder;
    return folder + L"\\";
}

// Notes the entries of one folder: links are kept, folders queued for the walk.
// False when an entry's path is too long for the shell.
bool survey_folder(const QV_string& folder, std::vector<QV_string>& pending, DX_tree_survey& survey)
{
    QV_string prefix = with_separator(folder);
    WIN32_FIND_DATAW found;
    QV_find search(qv_find_first_file(dx_long_form(prefix + L"*").c_str(), &found));
    if (!search.valid())
        return true;  // an unreadable folder is as closed to the shell as to us
    do {
        if (is_dot_entry(found.cFileName))
            continue;
        QV_string child = prefix + found.cFileName;
        if (child.length() >= MAX_PATH) {
            survey.too_long = true;
            return false;
        }
        if (is_link(found.dwFileAttributes))
            survey.links.push_back({child, is_folder(found.dwFileAttributes)});
        else if (is_folder(found.dwFileAttributes))
            pending.push_back(child);
    } while (qv_find_next_file(search.get(), &found));
    return true;
}

// Folders are kept in a list, not on the call stack: a tree may be thousands of
// levels deep.
void walk(const QV_string& full, DX_tree_survey& survey)
{
    std::vector<QV_string> pending{full};
    while (!pending.empty()) {
        QV_string folder = static_cast<QV_string&&>(pending.back());
        pending.pop_back();
        if (!survey_folder(folder, pending, survey))
            return;
    }
}

// The entry's own attributes, as its folder lists them: a link is not followed,
// so a link whose target is gone is still seen.
DWORD entry_attributes(const QV_string& full)
{
    QV_string name = full;
    unsigned length = full.length();
    if (length > 1 && full.c_str()[length - 1] == L'\\')
        full.substr(name, 0, length - 1);
    WIN32_FIND_DATAW found;
    QV_find search(qv_find_first_file(dx_long_form(name).c_str(), &found));
    return search.valid() ? found.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

} // namespace

QV_string dx_long_form(const QV_string& full)
{
    const wchar_t* text = full.c_str();
    if (!text || std::wcsncmp(text, L"\\\\?\\", 4) == 0 || std::wcsncmp(text, L"\\\\.\\", 4) == 0)
        return full;
    if (std::wcsncmp(text, L"\\\\", 2) == 0)
        return QV_string(L"\\\\?\\UNC") + (text + 1);
    return QV_string(L"\\\\?\\") + full;
}

DX_tree_survey dx_survey_tree(const QV_string& full) noexcept
{
    DX_tree_survey survey;
    try {
        survey.too_long = full.length() >= MAX_PATH;
        DWORD attributes = entry_attributes(full);
        survey.is_link = is_link(attributes);
        if (survey.is_link)
            survey.links.push_back({full, is_folder(attributes)});
        else if (!survey.too_long && is_folder(attributes))
            walk(full, survey);
        survey.complete = true;
    } catch (const std::bad_alloc&) {
        survey.links.clear();
    }
    return survey;
}

bool dx_remove_link(const DX_tree_link& link)
{
    QV_string form = dx_long_form(link.path);
    return link.folder ? qv_remove_directory(form.c_str()) != FALSE : qv_delete_file(form.c_str()) != FALSE;
}
