#include "cab/qv_cab_callbacks.h"

#include "base/qv_os.h"
#include "base/qv_unique.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

// A last-write time as local DOS date and time.
void dos_write_time(const FILETIME& written, USHORT* date, USHORT* time)
{
    FILETIME local;
    FileTimeToLocalFileTime(&written, &local);
    WORD dos_date = 0;
    WORD dos_time = 0;
    FileTimeToDosDateTime(&local, &dos_date, &dos_time);
    *date = dos_date;
    *time = dos_time;
}

// Only read-only, hidden, system and archive travel into the archive.
USHORT kept_attributes(DWORD attributes)
{
    return static_cast<USHORT>(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
}

USHORT kept_attributes(const char* name)
{
    DWORD attributes = qv_get_file_attributes(name);
    return attributes == INVALID_FILE_ATTRIBUTES ? 0 : kept_attributes(attributes);
}

// Sources are opened sharing reads and writes: a trace writer appending to a
// source is never kept out by an archive being made, and never keeps it out.
QV_file open_source(const char* name)
{
    return QV_file(qv_create_file(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Date, time, attributes and size of an open source: its attributes as name has
// them, or as the handle has them when name is null.
bool read_open_info(HANDLE file, const char* name, USHORT* date, USHORT* time, USHORT* attributes,
                    __int64* size)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!qv_file_identity(file, &info))
        return false;
    dos_write_time(info.ftLastWriteTime, date, time);
    *attributes = name ? kept_attributes(name) : kept_attributes(info.dwFileAttributes);
    *size = (static_cast<__int64>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

// What the library reads of each open source, by descriptor: the first head
// bytes of the file, then from cut up to end, the end the file had at the open.
// A whole source has head and cut 0. A file that grows meanwhile is archived as
// the bytes it held at the open, its size and its data agreeing. The file
// position is always below head or at cut and beyond. Writers on other threads
// share the table.
struct Source_window {
    int descriptor;
    __int64 head;
    __int64 cut;
    __int64 end;

    __int64 size() const { return head + end - cut; }
    __int64 file_offset(__int64 position) const { return position < head ? position : cut + position - head; }
    __int64 position_of(__int64 offset) const { return offset < head ? offset : offset - cut + head; }
};
std::mutex g_sources_lock;
std::vector<Source_window> g_sources;

// Records what was just opened under descriptor: a source's window, or (window
// null) a file the library writes. Every open comes here, so an entry left by an
// earlier file of the same number (closed without the close callback) never
// reaches the new one. False only when the table cannot grow.
bool track(int descriptor, const Source_window* window)
{
    std::lock_guard<std::mutex> lock(g_sources_lock);
    for (size_t i = 0; i < g_sources.size(); ++i) {
        if (g_sources[i].descriptor != descriptor)
            continue;
        if (window != nullptr) {
            g_sources[i] = *window;
        } else {
            g_sources[i] = g_sources.back();
            g_sources.pop_back();
        }
        return true;
    }
    if (window == nullptr)
        return true;
    try {
        g_sources.push_back(*window);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// False for a descriptor that is not an open source (the cabinet, scratch files).
bool window_of(int descriptor, Source_window* window)
{
    std::lock_guard<std::mutex> lock(g_sources_lock);
    for (const Source_window& source : g_sources) {
        if (source.descriptor == descriptor) {
            *window = source;
            return true;
        }
    }
    return false;
}

// count bytes at offset; the count read, or -1 with errno set.
int read_at(int descriptor, __int64 offset, void* buffer, unsigned count)
{
    if (_lseeki64(descriptor, offset, SEEK_SET) != offset)
        return -1;
    return qv_fd_read(descriptor, buffer, count);
}

// The first line start at or after first: the offset just after a line feed of
// unit bytes ('\n', as a UTF-16LE unit when unit is 2); end when none is there,
// -1 when the file cannot be read.
__int64 line_start_from(int descriptor, __int64 first, __int64 end, int unit)
{
    static constexpr unsigned CHUNK = 65536;
    std::vector<char> buffer(CHUNK);
    for (__int64 at = first - unit; at < end;) {
        int got = read_at(descriptor, at, buffer.data(), static_cast<unsigned>(std::min<__int64>(CHUNK, end - at)));
        if (got < unit)
            return got < 0 ? -1 : end;
        for (int i = 0; i + unit <= got; i += unit) {
            if (buffer[i] == '\n' && (unit == 1 || buffer[i + 1] == '\0'))
                return at + i + unit;
        }
        at += got - got % unit;
    }
    return end;
}

// The window of a source of end bytes that keeps at most room of them, the file
// position left at the window's start. False with errno set when the file cannot be read.
bool window_for(int descriptor, __int64 end, __int64 room, Source_window* window)
{
    *window = {descriptor, 0, 0, end};
    if (end <= room)
        return true;
    unsigned char mark[2] = {};
    bool utf16 = read_at(descriptor, 0, mark, 2) == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
    int unit = utf16 ? 2 : 1;
    window->head = utf16 && room >= 2 ? 2 : 0;
    __int64 first = end - (room - window->head);
    first += first % unit;  // UTF-16 units sit at even offsets after the mark
    window->cut = line_start_from(descriptor, first, end, unit);
    return window->cut >= 0 && _lseeki64(descriptor, window->file_offset(0), SEEK_SET) == window->file_offset(0);
}

// Sets up and records the window of a source just opened under descriptor; false
// with errno set when the file cannot be read or the table cannot grow.
bool watch_source(int descriptor, __int64 end, __int64 room, Source_window* window)
{
    if (!window_for(descriptor, end, room, window))
        return false;
    if (!track(descriptor, window)) {
        errno = ENOMEM;
        return false;
    }
    return true;
}

// Reads up to wanted bytes of a source: the head, then from the cut up to the end.
int read_window(const Source_window& window, char* memory, UINT wanted)
{
    __int64 offset = _telli64(window.descriptor);
    if (offset < 0)
        return -1;
    UINT total = 0;
    while (total < wanted && offset < window.end) {
        __int64 stop = offset < window.head ? window.head : window.end;
        UINT count = static_cast<UINT>(std::min<__int64>(wanted - total, stop - offset));
        int got = qv_fd_read(window.descriptor, memory + total, count);
        if (got < 0)
            return -1;
        total += static_cast<UINT>(got);
        offset += got;
        if (static_cast<UINT>(got) < count)
            break;
        if (offset == window.head && window.cut > window.head) {
            if (_lseeki64(window.descriptor, window.cut, SEEK_SET) != window.cut)
                return -1;
            offset = window.cut;
        }
    }
    return static_cast<int>(total);
}

// Moves within a source's window; the new position, or -1 with errno set.
long seek_window(const Source_window& window, long distance, int origin)
{
    __int64 base = 0;
    if (origin == SEEK_CUR) {
        __int64 offset = _telli64(window.descriptor);
        if (offset < 0)
            return -1;
        base = window.position_of(offset);
    } else if (origin == SEEK_END) {
        base = window.size();
    }
    __int64 position = base + distance;
    if (position < 0 || position > LONG_MAX) {
        errno = EINVAL;
        return -1;
    }
    __int64 offset = window.file_offset(position);
    if (_lseeki64(window.descriptor, offset, SEEK_SET) != offset)
        return -1;
    return static_cast<long>(position);
}

}  // namespace

FNFCIFILEPLACED(qv_cab_file_placed)
{
    (void)pccab, (void)pszFile, (void)cbFile, (void)fContinuation, (void)pv;
    return 0;
}

FNFCIALLOC(qv_cab_alloc)
{
    return malloc(cb);
}

FNFCIFREE(qv_cab_free)
{
    free(memory);
}

FNFCIOPEN(qv_cab_open)
{
    (void)pv;
    // The library makes its scratch files with an exclusive create. They go when
    // the last descriptor closes, so a process killed midway leaves none behind.
    if ((oflag & _O_CREAT) && (oflag & _O_EXCL))
        oflag |= _O_TEMPORARY;
    // A file opened for reading only is a source, shared like the ones the
    // open-information callback opens and read up to the end it has now; what the
    // library writes is its own until it closes it.
    bool source = (oflag & (_O_WRONLY | _O_RDWR)) == 0;
    int descriptor = qv_fd_open(pszFile, oflag, source ? _SH_DENYNO : _SH_DENYWR, pmode);
    if (descriptor == -1) {
        *err = errno;
        return -1;
    }
    Source_window window;
    if (source ? !watch_source(descriptor, _filelengthi64(descriptor), qv_cab_folder_limit, &window)
               : !track(descriptor, nullptr)) {
        *err = errno;
        qv_fd_close(descriptor);
        return -1;
    }
    return descriptor;
}

FNFCIREAD(qv_cab_read)
{
    (void)pv;
    int descriptor = static_cast<int>(hf);
    Source_window window;
    int count = window_of(descriptor, &window) ? read_window(window, static_cast<char*>(memory), cb)
                                               : qv_fd_read(descriptor, memory, cb);
    if (count != static_cast<int>(cb))
        *err = errno;
    return static_cast<UINT>(count);
}

FNFCIWRITE(qv_cab_write)
{
    (void)pv;
    int count = qv_fd_write(static_cast<int>(hf), memory, cb);
    if (count != static_cast<int>(cb))
        *err = errno;
    return static_cast<UINT>(count);
}

FNFCICLOSE(qv_cab_close)
{
    (void)pv;
    track(static_cast<int>(hf), nullptr);
    int result = qv_fd_close(static_cast<int>(hf));
    if (result != 0)
        *err = errno;
    return result;
}

FNFCISEEK(qv_cab_seek)
{
    (void)pv;
    Source_window window;
    long position = window_of(static_cast<int>(hf), &window) ? seek_window(window, dist, seektype)
                                                             : qv_fd_seek(static_cast<int>(hf), dist, seektype);
    if (position == -1)
        *err = errno;
    return position;
}

FNFCIDELETE(qv_cab_delete)
{
    (void)pv;
    int result = qv_fd_remove(pszFile);
    if (result != 0 && errno == ENOENT)
        return 0;  // a scratch file is gone once it is closed: nothing is left to delete
    if (result != 0)
        *err = errno;
    return result;
}

// The folder named by TMP, else the system's temporary folder, with its "\".
bool temp_folder(char* folder, size_t size)
{
    DWORD length = GetEnvironmentVariableA("TMP", folder, static_cast<DWORD>(size));
    if (length == 0 || length >= size)
        length = qv_get_temp_path(static_cast<DWORD>(size), folder);
    if (length == 0 || length >= size - 1)
        return false;
    if (folder[length - 1] != '\\')
        strcpy(folder + length, "\\");
    return true;
}

// Names are made of the process id and a count. The runtime's tempnam picks a
// free name and lets go of it again, so processes started together were handed
// the same names, and the library's exclusive create then failed one of them.
FNFCIGETTEMPFILE(qv_cab_temp_file)
{
    (void)pv;
    static std::atomic<unsigned> count{0};
    char folder[MAX_PATH];
    if (cbTempName <= 0 || !temp_folder(folder, sizeof folder))
        return FALSE;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[MAX_PATH + 32];
        int written = _snprintf(name, sizeof name, "%sxx%lx_%x.tmp", folder, GetCurrentProcessId(), count++);
        if (written < 0 || static_cast<size_t>(written) >= sizeof name
            || static_cast<size_t>(written) >= static_cast<size_t>(cbTempName))
            return FALSE;
        if (qv_get_file_attributes(name) != INVALID_FILE_ATTRIBUTES)
            continue;  // left by an earlier process of the same id
        strcpy(pszTempName, name);
        return TRUE;
    }
    return FALSE;
}

FNFCISTATUS(qv_cab_status)
{
    // For the cabinet status cb2 is the archive's size, confirmed as it is; for
    // progress the answer is never -1, so progress never aborts.
    (void)typeStatus, (void)cb1, (void)pv;
    return cb2 > static_cast<ULONG>(LONG_MAX) ? LONG_MAX : static_cast<long>(cb2);
}

bool qv_cab_is_source(INT_PTR descriptor)
{
    Source_window window;
    return window_of(static_cast<int>(descriptor), &window);
}

bool qv_cab_source_readable(const char* name, __int64* size)
{
    QV_file file = open_source(name);
    USHORT date = 0, time = 0, attributes = 0;
    __int64 found = 0;
    if (!file.valid() || !read_open_info(file.get(), name, &date, &time, &attributes, &found))
        return false;
    if (size != nullptr)
        *size = found;
    return true;
}

__int64 qv_cab_folder_limit = 65535LL * 32768;

namespace {

// The descriptor the library reads an open source of size bytes through; it owns
// file from here on. -1 with *err set on failure.
INT_PTR source_descriptor(QV_file file, __int64 size, int* err, __int64 room, QV_cab_source_part* part)
{
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) {
        *err = errno;
        return -1;
    }
    file.release();  // the descriptor owns the handle now
    Source_window window;
    if (!watch_source(descriptor, size, room, &window)) {
        *err = errno;
        qv_fd_close(descriptor);
        return -1;
    }
    part->kept = window.size();
    part->left_out = size - window.size();
    return descriptor;
}

}  // namespace

// One open serves the library: the end it reads to is the size this open saw.
INT_PTR qv_cab_open_source(const char* name, USHORT* date, USHORT* time, USHORT* attributes, int* err,
                           __int64 room, QV_cab_source_part* part)
{
    QV_file file = open_source(name);
    __int64 size = 0;
    if (!file.valid() || !read_open_info(file.get(), name, date, time, attributes, &size))
        return -1;
    return source_descriptor(std::move(file), size, err, room, part);
}

INT_PTR qv_cab_open_held_source(HANDLE source, USHORT* date, USHORT* time, USHORT* attributes, int* err,
                                __int64 room, QV_cab_source_part* part)
{
    QV_file copy;
    __int64 size = 0;
    if (!DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), copy.put(), 0, FALSE,
                         DUPLICATE_SAME_ACCESS)
        || !read_open_info(copy.get(), nullptr, date, time, attributes, &size)) {
        *err = EACCES;
        return -1;
    }
    return source_descriptor(std::move(copy), size, err, room, part);
}

FNFCIGETOPENINFO(qv_cab_open_info)
{
    (void)pv;
    QV_cab_source_part part;
    return qv_cab_open_source(pszName, pdate, ptime, pattribs, err, qv_cab_folder_limit, &part);
}

void qv_cab_opened_for_writing(int descriptor)
{
    track(descriptor, nullptr);  // removing an entry never needs memory
}
