#include "cab/qv_cab_basic.h"

#include "base/qv_os.h"

#include "cab/qv_cab_ansi.h"
#include "cab/qv_cab_callbacks.h"
#include "trace/qv_trace.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

constexpr size_t CCAB_TEXT_MAX = 255;  // the CCAB text fields hold 255 characters and a NUL
// What the library is told a held source is called: "|" is in no file's name, so
// no open by that name can reach a file.
constexpr char HELD_SOURCE[] = "|held source|";

// The folder part of destination with its trailing "\", or the current folder.
bool folder_of(const wchar_t* destination, const wchar_t* slash, QV_string& folder)
{
    if (slash != nullptr)
        return QV_string(destination).substr(folder, 0, static_cast<unsigned>(slash - destination + 1));
    wchar_t current[MAX_PATH];
    DWORD length = qv_get_current_directory(MAX_PATH, current);
    if (length == 0 || length >= MAX_PATH)
        return false;
    folder = current;
    if (current[length - 1] != L'\\')
        folder += L"\\";
    return true;
}

bool find_file(const wchar_t* path, WIN32_FIND_DATAW& found)
{
    return QV_find(qv_find_first_file(path, &found)).valid();
}

void copy_field(char* field, const std::string& text)
{
    memcpy(field, text.c_str(), text.size() + 1);
}

}  // namespace

ULONG qv_cab_largest_cabinet = 1000000000;

QV_cab_basic::QV_cab_basic(const wchar_t* destination)
{
    memset(&fci_error, 0, sizeof fci_error);
    memset(&cabinet_parameters, 0, sizeof cabinet_parameters);
    cabinet_parameters.cb = qv_cab_largest_cabinet;
    cabinet_parameters.cbFolderThresh = qv_cab_largest_cabinet;
    if (!set_destination(destination))
        return;
    fci_context.reset(qv_fci::FCICreate(&fci_error, qv_cab_file_placed, qv_cab_alloc, qv_cab_free, open_file, read_file,
                                qv_cab_write, qv_cab_close, qv_cab_seek, delete_file, qv_cab_temp_file,
                                &cabinet_parameters, static_cast<QV_cab_kernel*>(this)));
}

// The library's context goes first: it removes its scratch files and closes what
// it opened of the reservation before the reservation is let go.
QV_cab_basic::~QV_cab_basic()
{
    fci_context.reset();
}

// Fills the CCAB folder and name. A name or folder that does not fit its field,
// or a folder with no exact narrow form, fails rather than being cut: a cut name
// would put the archive somewhere else.
bool QV_cab_basic::set_destination(const wchar_t* destination)
{
    if (destination == nullptr)
        return false;
    const wchar_t* slash = wcsrchr(destination, L'\\');
    const wchar_t* name = slash != nullptr ? slash + 1 : destination;
    size_t name_length = wcslen(name);
    QV_string folder;
    if (name_length == 0 || name_length > CCAB_TEXT_MAX || !folder_of(destination, slash, folder))
        return false;
    std::string narrow_folder;
    if (!qv_cab_ansi_path(folder.c_str(), narrow_folder) || narrow_folder.size() > CCAB_TEXT_MAX)
        return false;
    if (!reservation.reserve(folder, name))
        return false;
    final_path = folder + name;
    copy_field(cabinet_parameters.szCabPath, narrow_folder);
    copy_field(cabinet_parameters.szCab, reservation.library_name());
    cabinet_library_path = narrow_folder + reservation.library_name();
    return true;
}

QV_cab_basic* QV_cab_basic::writer_of(void* context)
{
    return static_cast<QV_cab_basic*>(static_cast<QV_cab_kernel*>(context));
}

FNFCIOPEN(QV_cab_basic::open_file)
{
    QV_cab_basic* writer = writer_of(pv);
    if (writer->cabinet_library_path != pszFile)
        return qv_cab_open(pszFile, oflag, pmode, err, pv);
    int descriptor = writer->reservation.open_descriptor(err);
    if (descriptor != -1)
        qv_cab_opened_for_writing(descriptor);
    return descriptor;
}

FNFCIGETOPENINFO(QV_cab_basic::open_source)
{
    QV_cab_basic* writer = writer_of(pv);
    __int64 room = qv_cab_folder_limit - writer->folder_bytes;
    if (writer->held_source != nullptr && strcmp(pszName, HELD_SOURCE) == 0)
        return qv_cab_open_held_source(writer->held_source, pdate, ptime, pattribs, err, room, &writer->last_part);
    return qv_cab_open_source(pszName, pdate, ptime, pattribs, err, qv_cab_folder_limit - writer->folder_bytes,
                              &writer->last_part);
}

// A file that would take the current folder past the limit goes into a new one.
bool QV_cab_basic::make_room(__int64 size)
{
    if (folder_bytes == 0 || folder_bytes + size <= qv_cab_folder_limit)
        return true;
    if (qv_fci::FCIFlushFolder(fci_context.get(), refuse_next_cabinet, qv_cab_status) == FALSE)
        return false;
    folder_bytes = 0;
    return true;
}

// The cabinet's text names no file of its own (see library_name); the writer
// discards its reservation itself.
FNFCIDELETE(QV_cab_basic::delete_file)
{
    if (writer_of(pv)->cabinet_library_path == pszFile)
        return 0;
    return qv_cab_delete(pszFile, err, pv);
}

// Asked before a cabinet fills up, so nothing has been written under a follow-on
// name yet; the refusal makes the library fail, and flush fails with it.
FNFCIGETNEXTCABINET(QV_cab_basic::refuse_next_cabinet)
{
    (void)pccab, (void)cbPrevCab;
    writer_of(pv)->spilled = true;
    return FALSE;
}

FNFCIREAD(QV_cab_basic::read_file)
{
    QV_cab_basic* writer = writer_of(pv);
    UINT count = qv_cab_read(hf, memory, cb, err, pv);
    if (count != static_cast<UINT>(-1) && writer->source_read_stopped(hf, count)) {
        *err = EINTR;
        count = static_cast<UINT>(-1);
    }
    if (count == static_cast<UINT>(-1))
        writer->read_failed = true;
    return count;
}

void QV_cab_basic::report_progress(QV_progress* reporter, ULONGLONG total)
{
    progress = reporter;
    progress_total = total;
    source_bytes_read = 0;
}

// Scratch files the library reads back are no part of the progress.
bool QV_cab_basic::source_read_stopped(INT_PTR descriptor, UINT count)
{
    if (progress == nullptr || !qv_cab_is_source(descriptor))
        return false;
    source_bytes_read += count;
    return progress->step(source_bytes_read, progress_total) == ERROR_CANCELLED;
}

bool QV_cab_basic::add_file(const wchar_t* source, const wchar_t* name_in_cabinet)
{
    if (!fci_context || source == nullptr || name_in_cabinet == nullptr)
        return false;
    std::string narrow_source;
    std::string narrow_name;
    if (!qv_cab_ansi_path(source, narrow_source) || !qv_cab_exact_ansi(name_in_cabinet, narrow_name))
        return false;
    __int64 size = 0;
    if (!qv_cab_source_readable(narrow_source.c_str(), &size) || !make_room(size))
        return false;
    return add_to_library(narrow_source.data(), narrow_name, source);
}

bool QV_cab_basic::add_to_library(char* library_source, const std::string& name, const wchar_t* shown_as)
{
    std::string library_name = name;
    last_part = QV_cab_source_part();
    if (qv_fci::FCIAddFile(fci_context.get(), library_source, library_name.data(), FALSE, refuse_next_cabinet,
                           qv_cab_status, open_source, tcompTYPE_MSZIP) == FALSE)
        return false;
    folder_bytes += last_part.kept;
    if (last_part.left_out > 0)
        qv_trace_printf(L"QV_cab_basic::add_file",
                        L"%s is larger than a cabinet folder holds: %I64d bytes before its last line start that "
                        L"fits left out, %I64d bytes archived\n",
                        shown_as, last_part.left_out, last_part.kept);
    return true;
}

bool QV_cab_basic::add_open_file(HANDLE source, const wchar_t* shown_as, const wchar_t* name_in_cabinet)
{
    std::string narrow_name;
    LARGE_INTEGER size{};
    if (!fci_context || source == nullptr || source == INVALID_HANDLE_VALUE || shown_as == nullptr
        || name_in_cabinet == nullptr || !qv_cab_exact_ansi(name_in_cabinet, narrow_name)
        || !qv_file_size(source, &size) || !make_room(size.QuadPart))
        return false;
    std::string library_source = HELD_SOURCE;
    held_source = source;
    bool added = add_to_library(library_source.data(), narrow_name, shown_as);
    held_source = nullptr;
    return added;
}

bool QV_cab_basic::add_file(const wchar_t* source)
{
    if (source == nullptr)
        return false;
    WIN32_FIND_DATAW found;
    if (!find_file(source, found))
        return add_file(source, source);
    // A long name that has no exact narrow form is stored under its short name.
    std::string unused;
    const wchar_t* name = found.cFileName;
    if (!qv_cab_exact_ansi(name, unused) && found.cAlternateFileName[0] != L'\0')
        name = found.cAlternateFileName;
    return add_file(source, name);
}

bool QV_cab_basic::flush()
{
    bool written = fci_context && reservation.held() && !spilled && !read_failed &&
                   qv_fci::FCIFlushCabinet(fci_context.get(), FALSE, refuse_next_cabinet, qv_cab_status) != FALSE;
    // A member the library stored after a failed read is cut short: no archive
    // rather than one that silently misses part of a trace.
    if (written && !spilled && !read_failed && reservation.publish(final_path))
        return true;
    reservation.discard();
    return false;
}
