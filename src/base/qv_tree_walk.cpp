#include "base/qv_tree_walk.h"

#include "base/qv_os.h"
#include "base/qv_unique.h"

#include <cwchar>
#include <new>
#include <string>
#include <vector>

HANDLE (*qv_walk_find_first)(LPCWSTR pattern, LPWIN32_FIND_DATAW found) = qv_find_first_file;
BOOL (*qv_walk_find_next)(HANDLE search, LPWIN32_FIND_DATAW found) = qv_find_next_file;

namespace {

// A folder the walk goes into: a reparse point is never entered, whatever it
// points to.
bool is_walkable(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool is_dot_entry(const wchar_t* name)
{
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

std::wstring without_trailing_separators(const wchar_t* text)
{
    std::wstring result = text ? text : L"";
    while (result.size() > 1 && result.back() == L'\\')
        result.pop_back();
    return result;
}

struct Listed {
    std::wstring name;
    DWORD attributes;
};

// A folder being walked: where its path ends in both buffers, and its entries.
struct Frame {
    size_t plain_length;
    size_t long_length;
    DWORD attributes;
    std::vector<Listed> entries;
    size_t next = 0;
};

class Walk {
public:
    Walk(const QV_walk_visitor& visit, QV_string* failed) : visit_(visit), failed_(failed) {}
    DWORD run(const QV_string& root);

private:
    DWORD start(const QV_string& root);
    DWORD next_step();
    DWORD enter(DWORD attributes);
    DWORD leave();
    DWORD list(std::vector<Listed>& entries);
    DWORD root_attributes(DWORD& attributes);
    bool extend(const std::wstring& name);
    void truncate(size_t plain_length, size_t long_length);
    bool show(QV_walk_step::Kind kind, DWORD attributes);
    DWORD fail(DWORD error);

    const QV_walk_visitor& visit_;
    QV_string* failed_;
    std::wstring plain_;  // the current entry's path, both forms
    std::wstring long_;
    std::vector<Frame> stack_;  // the folders entered and not yet left, root first
};

DWORD Walk::run(const QV_string& root)
{
    DWORD error = start(root);
    while (error == ERROR_SUCCESS && !stack_.empty())
        error = next_step();
    return error;
}

DWORD Walk::start(const QV_string& root)
{
    plain_ = without_trailing_separators(qv_plain_path(root).c_str());
    long_ = without_trailing_separators(qv_extended_path(root).c_str());
    if (plain_.empty() || long_.find_first_of(L"*?", 4) != std::wstring::npos)
        return fail(ERROR_INVALID_NAME);  // a pattern would look up another entry
    if (long_.size() > qv_longest_path)
        return fail(ERROR_FILENAME_EXCED_RANGE);
    DWORD attributes = 0;
    if (DWORD error = root_attributes(attributes))
        return fail(error);
    if (is_walkable(attributes))
        return enter(attributes);
    return show(QV_walk_step::leaf, attributes) ? ERROR_SUCCESS : fail(ERROR_CANCELLED);
}

// The root as its folder lists it: a link's own attributes, a missing root's error.
DWORD Walk::root_attributes(DWORD& attributes)
{
    WIN32_FIND_DATAW found;
    QV_find search(qv_walk_find_first(long_.c_str(), &found));
    if (!search.valid()) {
        DWORD error = GetLastError();
        return error ? error : ERROR_FILE_NOT_FOUND;
    }
    attributes = found.dwFileAttributes;
    return ERROR_SUCCESS;
}

// One entry of the innermost folder, or leaving it when all were visited.
DWORD Walk::next_step()
{
    Frame& top = stack_.back();
    if (top.next == top.entries.size())
        return leave();
    const Listed& entry = top.entries[top.next++];
    if (!extend(entry.name))
        return fail(ERROR_FILENAME_EXCED_RANGE);
    if (is_walkable(entry.attributes))
        return enter(entry.attributes);
    if (!show(QV_walk_step::leaf, entry.attributes))
        return fail(ERROR_CANCELLED);
    truncate(top.plain_length, top.long_length);
    return ERROR_SUCCESS;
}

// The buffers name the folder: it is shown, listed whole, and becomes the
// innermost one.
DWORD Walk::enter(DWORD attributes)
{
    if (!show(QV_walk_step::folder_entered, attributes))
        return fail(ERROR_CANCELLED);
    std::vector<Listed> entries;
    if (DWORD error = list(entries))
        return fail(error);
    stack_.push_back({plain_.size(), long_.size(), attributes, static_cast<std::vector<Listed>&&>(entries)});
    return ERROR_SUCCESS;
}

DWORD Walk::leave()
{
    if (!show(QV_walk_step::folder_left, stack_.back().attributes))
        return fail(ERROR_CANCELLED);
    stack_.pop_back();
    if (!stack_.empty())
        truncate(stack_.back().plain_length, stack_.back().long_length);
    return ERROR_SUCCESS;
}

// Every entry of the folder the buffers name; any failure but the end of the
// listing is a failure of the walk.
DWORD Walk::list(std::vector<Listed>& entries)
{
    if (long_.size() + 2 > qv_longest_path)
        return ERROR_FILENAME_EXCED_RANGE;
    WIN32_FIND_DATAW found;
    QV_find search(qv_walk_find_first((long_ + L"\\*").c_str(), &found));
    if (!search.valid()) {
        DWORD error = GetLastError();
        return error ? error : ERROR_PATH_NOT_FOUND;
    }
    do {
        if (!is_dot_entry(found.cFileName))
            entries.push_back({found.cFileName, found.dwFileAttributes});
    } while (qv_walk_find_next(search.get(), &found));
    DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : (error ? error : ERROR_READ_FAULT);
}

// Appends a name to both forms; false when the path would pass the longest one.
bool Walk::extend(const std::wstring& name)
{
    plain_ += L'\\';
    plain_ += name;
    long_ += L'\\';
    long_ += name;
    return long_.size() <= qv_longest_path;
}

void Walk::truncate(size_t plain_length, size_t long_length)
{
    plain_.resize(plain_length);
    long_.resize(long_length);
}

bool Walk::show(QV_walk_step::Kind kind, DWORD attributes)
{
    size_t separator = plain_.rfind(L'\\');
    const wchar_t* name = plain_.c_str() + (separator == std::wstring::npos ? 0 : separator + 1);
    return visit_({kind, plain_.c_str(), plain_.size(), long_.c_str(), name, attributes});
}

DWORD Walk::fail(DWORD error)
{
    if (failed_)
        *failed_ = QV_string(plain_.c_str());
    return error;
}

} // namespace

DWORD qv_walk_tree(const QV_string& root, const QV_walk_visitor& visit, QV_string* failed_path) noexcept
{
    try {
        return Walk(visit, failed_path).run(root);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
