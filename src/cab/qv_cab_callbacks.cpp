#include "cab/qv_cab_callbacks.h"

#include "base/qv_unique.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Last-write time of an open file as local DOS date and time.
bool dos_write_time(HANDLE file, USHORT* date, USHORT* time)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return false;
    FILETIME local;
    FileTimeToLocalFileTime(&info.ftLastWriteTime, &local);
    WORD dos_date = 0;
    WORD dos_time = 0;
    FileTimeToDosDateTime(&local, &dos_date, &dos_time);
    *date = dos_date;
    *time = dos_time;
    return true;
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

// Date, time and attributes of a file that no one is writing to: the open shares
// reads only, so a file held open for writing is refused here.
bool read_open_info(const char* name, USHORT* date, USHORT* time, USHORT* attributes)
{
    QV_file file(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid() || !dos_write_time(file.get(), date, time))
        return false;
    *attributes = kept_attributes(name);
    return true;
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
    int descriptor = _sopen(pszFile, oflag, _SH_DENYWR, pmode);
    if (descriptor == -1)
        *err = errno;
    return descriptor;
}

FNFCIREAD(qv_cab_read)
{
    (void)pv;
    int count = _read(static_cast<int>(hf), memory, cb);
    if (count != static_cast<int>(cb))
        *err = errno;
    return static_cast<UINT>(count);
}

FNFCIWRITE(qv_cab_write)
{
    (void)pv;
    int count = _write(static_cast<int>(hf), memory, cb);
    if (count != static_cast<int>(cb))
        *err = errno;
    return static_cast<UINT>(count);
}

FNFCICLOSE(qv_cab_close)
{
    (void)pv;
    int result = _close(static_cast<int>(hf));
    if (result != 0)
        *err = errno;
    return result;
}

FNFCISEEK(qv_cab_seek)
{
    (void)pv;
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

FNFCIGETTEMPFILE(qv_cab_temp_file)
{
    (void)pv;
    // An empty folder argument lets the runtime take the folder from TMP.
    char* name = _tempnam("", "xx");
    if (name == nullptr)
        return FALSE;
    bool fits = cbTempName > 0 && strlen(name) < static_cast<size_t>(cbTempName);
    if (fits)
        strcpy(pszTempName, name);
    free(name);
    return fits ? TRUE : FALSE;
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
    USHORT date = 0, time = 0, attributes = 0;
    return read_open_info(name, &date, &time, &attributes);
}

FNFCIGETOPENINFO(qv_cab_open_info)
{
    (void)pv;
    if (!read_open_info(pszName, pdate, ptime, pattribs))
        return -1;
    int descriptor = _sopen(pszName, _O_RDONLY | _O_BINARY, _SH_DENYWR);
    if (descriptor == -1)
        *err = errno;
    return descriptor;
}
