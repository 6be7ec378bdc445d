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
USHORT kept_attributes(const char* name)
{
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    return static_cast<USHORT>(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
}

// Sources are opened sharing reads and writes: a trace writer appending to a
// source is never kept out by an archive being made, and never keeps it out.
QV_file open_source(const char* name)
{
    return QV_file(qv_create_file(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Date, time, attributes and size of an open source.
bool read_open_info(HANDLE file, const char* name, USHORT* date, USHORT* time, USHORT* attributes,
                    __int64* size)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return false;
    dos_write_time(info.ftLastWriteTime, date, time);
    *attributes = kept_attributes(name);
    *size = (static_cast<__int64>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

// The end each open source had when it was opened, by descriptor. The library
// reads a source up to the end it finds, so reads and seeks stop at this end: a
// file that grows meanwhile is archived as the bytes it held at the open, its
// size and its data agreeing. Writers on other threads share the table.
struct Source_end {
    int descriptor;
    __int64 end;
};
std::mutex g_sources_lock;
std::vector<Source_end> g_sources;

// A descriptor number is open once at a time: an entry it still has belongs to
// an earlier file closed without the close callback.
bool remember_end(int descriptor, __int64 end)
{
    std::lock_guard<std::mutex> lock(g_sources_lock);
    for (Source_end& source : g_sources) {
        if (source.descriptor == descriptor) {
            source.end = end;
            return true;
        }
    }
    try {
        g_sources.push_back({descriptor, end});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// False for a descriptor that is not an open source (the library's scratch files).
bool end_of(int descriptor, __int64* end)
{
    std::lock_guard<std::mutex> lock(g_sources_lock);
    for (const Source_end& source : g_sources) {
        if (source.descriptor == descriptor) {
            *end = source.end;
            return true;
        }
    }
    return false;
}

void forget_end(int descriptor)
{
    std::lock_guard<std::mutex> lock(g_sources_lock);
    for (size_t i = 0; i < g_sources.size(); ++i) {
        if (g_sources[i].descriptor == descriptor) {
            g_sources[i] = g_sources.back();
            g_sources.pop_back();
            return;
        }
    }
}

// The count a read may take from descriptor without passing a source's end.
UINT readable_count(int descriptor, UINT wanted)
{
    __int64 end = 0;
    if (!end_of(descriptor, &end))
        return wanted;
    __int64 position = _telli64(descriptor);
    if (position < 0 || position >= end)
        return 0;
    return end - position < static_cast<__int64>(wanted) ? static_cast<UINT>(end - position) : wanted;
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
    // Shared like a source the open-information callback opens; a file opened
    // for reading only is a source, read up to the end it has now.
    int descriptor = qv_fd_open(pszFile, oflag, _SH_DENYNO, pmode);
    if (descriptor == -1) {
        *err = errno;
        return -1;
    }
    if ((oflag & (_O_WRONLY | _O_RDWR)) == 0 && !remember_end(descriptor, _filelengthi64(descriptor))) {
        _close(descriptor);
        *err = ENOMEM;
        return -1;
    }
    return descriptor;
}

FNFCIREAD(qv_cab_read)
{
    (void)pv;
    int descriptor = static_cast<int>(hf);
    int count = qv_fd_read(descriptor, memory, readable_count(descriptor, cb));
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
    forget_end(static_cast<int>(hf));
    int result = _close(static_cast<int>(hf));
    if (result != 0)
        *err = errno;
    return result;
}

FNFCISEEK(qv_cab_seek)
{
    (void)pv;
    __int64 end = 0;
    if (seektype == SEEK_END && end_of(static_cast<int>(hf), &end)) {
        dist = static_cast<long>(end + dist);  // from the end the source had when it was opened
        seektype = SEEK_SET;
    }
    long position = _lseek(static_cast<int>(hf), dist, seektype);
    if (position == -1)
        *err = errno;
    return position;
}

FNFCIDELETE(qv_cab_delete)
{
    (void)pv;
    int result = remove(pszFile);
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
        length = GetTempPathA(static_cast<DWORD>(size), folder);
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
        if (GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES)
            continue;  // left by an earlier process of the same id
        strcpy(pszTempName, name);
        return TRUE;
    }
    return FALSE;
}

bool qv_cab_next_name(const char* previous, int number, char* out, size_t out_size)
{
    if (out_size == 0)
        return false;
    out[0] = '\0';
    char stem[CB_MAX_CABINET_NAME];
    const char* dot = strrchr(previous, '.');
    size_t stem_length = dot != nullptr ? static_cast<size_t>(dot - previous) : strlen(previous);
    if (stem_length >= sizeof stem)
        return false;
    memcpy(stem, previous, stem_length);
    stem[stem_length] = '\0';
    const char* suffix = dot != nullptr ? dot : ".";

    auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    if (stem_length > 0 && is_digit(stem[stem_length - 1]) && !is_digit(stem[0]))
        stem[strcspn(stem, "0123456789")] = '\0';

    int written = _snprintf(out, out_size, "%s%03d%s", stem, number, suffix);
    if (written < 0 || static_cast<size_t>(written) >= out_size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

FNFCIGETNEXTCABINET(qv_cab_next_cabinet)
{
    (void)cbPrevCab, (void)pv;
    char name[CB_MAX_CABINET_NAME];
    if (!qv_cab_next_name(pccab->szCab, pccab->iCab, name, sizeof name))
        return FALSE;
    strcpy(pccab->szCab, name);
    return TRUE;
}

FNFCISTATUS(qv_cab_status)
{
    // For the cabinet status cb2 is the archive's size, confirmed as it is; for
    // progress the answer is never -1, so progress never aborts.
    (void)typeStatus, (void)cb1, (void)pv;
    return cb2 > static_cast<ULONG>(LONG_MAX) ? LONG_MAX : static_cast<long>(cb2);
}

bool qv_cab_source_readable(const char* name)
{
    QV_file file = open_source(name);
    USHORT date = 0, time = 0, attributes = 0;
    __int64 size = 0;
    return file.valid() && read_open_info(file.get(), name, &date, &time, &attributes, &size);
}

// One open serves the library: the end it reads to is the size this open saw.
FNFCIGETOPENINFO(qv_cab_open_info)
{
    (void)pv;
    QV_file file = open_source(pszName);
    __int64 size = 0;
    if (!file.valid() || !read_open_info(file.get(), pszName, pdate, ptime, pattribs, &size))
        return -1;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) {
        *err = errno;
        return -1;
    }
    file.release();  // the descriptor owns the handle now
    if (!remember_end(descriptor, size)) {
        _close(descriptor);
        *err = ENOMEM;
        return -1;
    }
    return descriptor;
}
