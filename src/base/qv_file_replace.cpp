#include "base/qv_file_replace.h"

#include "base/qv_os.h"
#include "base/qv_unique.h"

#include "trace/qv_trace.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* REPLACE = L"qv_copy_file_replacing";

// Names taken by someone else are skipped; past this many the folder is not
// ours to fill.
constexpr int temporary_name_tries = 100;

bool is_folder(const QV_path& path)
{
    DWORD attributes = qv_get_file_attributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The copy goes through the handle that wrote it, so a file that someone put
// under its temporary name is never touched. It may carry the source's read-only
// attribute, which would refuse the disposition.
void dispose_temporary(HANDLE copy, const QV_path& temporary)
{
    FILE_BASIC_INFO normal{};  // times of 0 stay as they are
    normal.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    qv_set_file_info(copy, FileBasicInfo, &normal, sizeof normal);
    FILE_DISPOSITION_INFO gone{TRUE};
    if (!qv_set_file_info(copy, FileDispositionInfo, &gone, sizeof gone))
        qv_trace_failed_call(REPLACE, L"SetFileInformationByHandle", temporary.c_str());
}

// The open file takes the name to (extended form), replacing the file there. The
// rename goes through the handle: it moves the file this process wrote, whatever
// its temporary name holds by now.
BOOL rename_open_file(HANDLE file, const QV_path& to)
{
    const wchar_t* text = to.c_str();
    if (std::wcsncmp(text, L"\\\\?\\", 4) != 0) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    // "\\?\C:\..." and "\\?\UNC\..." in the system's own form, "\??\...".
    std::wstring target = std::wstring(L"\\??\\") + (text + 4);
    DWORD bytes = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::vector<unsigned char> buffer(offsetof(FILE_RENAME_INFO, FileName) + bytes + sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = bytes;
    std::memcpy(info->FileName, target.c_str(), bytes);
    return qv_set_file_info(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size()));
}

bool name_taken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Bytes move in blocks this large: a step of the progress per block, and as fast
// as the system's own copy.
constexpr DWORD COPY_BLOCK = 1 << 20;

// What the copy gives the new file of its source: its attributes and times.
struct Source_facts {
    FILE_BASIC_INFO basic{};
    ULONGLONG size = 0;
};

bool source_facts(HANDLE source, Source_facts& facts)
{
    FILE_STANDARD_INFO standard{};
    if (!qv_file_info(source, FileBasicInfo, &facts.basic, sizeof facts.basic)
        || !qv_file_info(source, FileStandardInfo, &standard, sizeof standard))
        return false;
    facts.size = static_cast<ULONGLONG>(standard.EndOfFile.QuadPart);
    facts.basic.ChangeTime.QuadPart = 0;  // 0: the system keeps its own
    return true;
}

// Every byte of source into copy, one progress step a block; 0, the failed
// call's error, or ERROR_CANCELLED when the progress was stopped.
DWORD copy_bytes(HANDLE source, HANDLE copy, ULONGLONG total, QV_progress* progress)
{
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[COPY_BLOCK]);
    if (!buffer)
        return ERROR_NOT_ENOUGH_MEMORY;
    for (ULONGLONG done = 0;;) {
        DWORD got = 0;
        if (!qv_read_file(source, buffer.get(), COPY_BLOCK, &got, nullptr))
            return GetLastError();
        if (got == 0)
            return 0;
        DWORD written = 0;
        if (!qv_write_file(copy, buffer.get(), got, &written, nullptr))
            return GetLastError();
        if (written != got)
            return ERROR_WRITE_FAULT;
        done += got;
        if (progress && progress->step(done, total) == ERROR_CANCELLED)
            return ERROR_CANCELLED;
    }
}

// The bytes, then the source's attributes and times through the handle (a
// read-only attribute set only now, so it never refuses the writes), then the
// flush: the copy's bytes reach the disk before its rename can, so no power cut
// leaves the name on a file whose data never arrived.
DWORD fill_copy(HANDLE source, HANDLE copy, Source_facts& facts, QV_progress* progress)
{
    if (DWORD error = copy_bytes(source, copy, facts.size, progress))
        return error;
    if (!qv_set_file_info(copy, FileBasicInfo, &facts.basic, sizeof facts.basic))
        return GetLastError();
    if (qv_flush_file(copy))
        return 0;
    DWORD error = GetLastError();
    qv_trace_failed_call(REPLACE, L"FlushFileBuffers", L"the temporary copy");
    return error;
}

// Opened as the system's copy opens a source: other readers and a deletion are let in.
QV_file open_source(const QV_path& source)
{
    return QV_file(qv_create_file(qv_extended_path(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The whole copy, flushed, under a temporary name of its own, left open in copy
// for its rename; 0 or the copy's error, with nothing left behind on failure.
DWORD copy_to_temporary(const QV_path& source, const QV_path& destination, QV_progress* progress, QV_path& temporary,
                        QV_file& copy)
{
    QV_file from = open_source(source);
    Source_facts facts;
    if (!from || !source_facts(from.get(), facts))
        return GetLastError();
    DWORD created_attributes = facts.basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
    // Exclusive: a file of that name belongs to someone else and is left alone.
    // Not shared: nobody renames or replaces it while this process holds it.
    temporary = qv_take_temporary_name_beside(destination, [&](const QV_path& name) {
        copy.reset(qv_create_file(name.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES | DELETE, 0, nullptr,
                                  CREATE_NEW, created_attributes ? created_attributes : FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
        return copy.valid();
    });
    if (!temporary.has_text())
        return GetLastError();
    DWORD error = fill_copy(from.get(), copy.get(), facts, progress);
    if (error) {
        dispose_temporary(copy.get(), temporary);
        copy.reset();
        SetLastError(error);
    }
    return error;
}

} // namespace

QV_path qv_temporary_name_beside(const QV_path& path)
{
    static unsigned counter = 0;
    wchar_t name[40] = {};
    _snwprintf(name, 39, L"~qv%lx-%x.tmp", GetCurrentProcessId(), ++counter);
    QV_path folder = path.parent();
    return qv_extended_path(folder.has_text() ? join(folder, name) : QV_path(name));
}

QV_path qv_take_temporary_name_beside(const QV_path& path, const std::function<bool(const QV_path&)>& take)
{
    for (int tries = 0; tries < temporary_name_tries; ++tries) {
        QV_path name = qv_temporary_name_beside(path);
        if (take(name))
            return name;
        if (!name_taken(GetLastError()))
            return QV_path();
    }
    SetLastError(ERROR_FILE_EXISTS);
    return QV_path();
}

DWORD qv_copy_file_replacing(const QV_path& source, const QV_path& destination,
                             const std::function<void()>& before_replace, QV_progress* progress)
{
    qv_trace_enter(REPLACE, 0);
    QV_path to = qv_extended_path(destination);
    if (is_folder(to))
        return ERROR_ACCESS_DENIED;
    QV_path temporary;
    QV_file copy;
    if (DWORD error = copy_to_temporary(source, destination, progress, temporary, copy))
        return error;
    if (before_replace)
        before_replace();
    // One rename: the name moves from the old file to the new one at once. A
    // folder that appeared meanwhile refuses it.
    if (rename_open_file(copy.get(), to))
        return 0;
    DWORD error = GetLastError();
    qv_trace_failed_call(REPLACE, L"SetFileInformationByHandle", to.c_str());
    dispose_temporary(copy.get(), temporary);
    return error;
}
