// The writer every record goes through: secrets masked, the machine-wide switch
// read at most once per 3,000 ms, and each line appended to "TraceFile.qv" in the
// temporary folder under the session-wide trace mutex.
#include "trace/qv_trace.h"

#include "base/qv_mutex.h"
#include "base/qv_os.h"
#include "base/qv_unique.h"
#include "trace/qv_trace_seams.h"
#include "trace/qv_trace_text.h"

#include <winternl.h>

#include <atomic>
#include <cwchar>

DWORD(WINAPI* qv_trace_tick_source)() = GetTickCount;
void (*qv_trace_file_held_probe)(const wchar_t* path) = nullptr;

namespace {

constexpr const wchar_t* MUTEX_NAME = L"{7E40A9C5-62D1-4f3b-8C17-B95E03D2A64C}_QVA";
constexpr const wchar_t* LOGGING_KEY = L"Software\\Velmora\\Corvessa\\Logging";
constexpr const wchar_t* SWITCH_VALUE = L"EnableUserModeTrace";
constexpr const wchar_t* FILE_NAME = L"TraceFile.qv";
constexpr DWORD RECHECK_MS = 3000;
// Write-through, normal, and a link opened as itself: the writer never follows one.
constexpr DWORD FLAGS_AND_ATTRIBUTES = 0x80000080 | FILE_FLAG_OPEN_REPARSE_POINT;

// Read without the mutex by the quick check; a stale read only delays a switch
// by one record.
std::atomic<DWORD> g_last_check{0};
std::atomic<bool> g_switch_on{false};
// Guarded by the trace mutex.
bool g_at_line_start = true;
// The index of the file last found under the trace file's name: its name is asked
// again only when another file is met.
bool g_named_known = false;
LONGLONG g_named_index = 0;
// The mutex handle stays open for the life of the process, so a record costs a
// wait and a release instead of a create and a close.
std::atomic<HANDLE> g_mutex{nullptr};

// Holds the trace mutex for one record; held() is false when it could not be had.
class Trace_lock {
public:
    Trace_lock()
    {
        HANDLE cached = g_mutex.load(std::memory_order_acquire);
        if (cached) {
            DWORD result = WaitForSingleObject(cached, INFINITE);
            handle_ = cached;
            held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;  // a dead writer's lock is ours now
            return;
        }
        handle_ = qv_create_mutex(MUTEX_NAME, false, true);
        held_ = handle_ != nullptr;
        HANDLE expected = nullptr;
        // Another thread may have cached its handle first: then ours goes after this record.
        close_after_ = held_ && !g_mutex.compare_exchange_strong(expected, handle_);
    }
    ~Trace_lock()
    {
        if (held_)
            ReleaseMutex(handle_);
        if (close_after_)
            CloseHandle(handle_);
    }
    Trace_lock(const Trace_lock&) = delete;
    Trace_lock& operator=(const Trace_lock&) = delete;
    bool held() const { return held_; }

private:
    HANDLE handle_ = nullptr;
    bool held_ = false;
    bool close_after_ = false;
};

// Every character after "<secret>" up to the next "<" (or the end) becomes "*".
void mask_secrets(wchar_t* text)
{
    static constexpr wchar_t MARKER[] = L"<secret>";
    constexpr size_t MARKER_LENGTH = sizeof(MARKER) / sizeof(wchar_t) - 1;
    for (wchar_t* found = std::wcsstr(text, MARKER); found; found = std::wcsstr(found, MARKER)) {
        found += MARKER_LENGTH;
        for (; *found && *found != L'<'; ++found)
            *found = L'*';
    }
}

// Only a 4-byte REG_DWORD holding 1 votes for tracing.
bool key_votes_on(HKEY key)
{
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, SWITCH_VALUE, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || type != REG_DWORD || size != sizeof(DWORD))
        return false;
    DWORD value = 0;
    return RegQueryValueExW(key, SWITCH_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size)
               == ERROR_SUCCESS
           && type == REG_DWORD && size == sizeof(DWORD) && value == 1;
}

// The logging key of one loaded user hive, or the machine's when the hive has none.
bool hive_votes_on(const wchar_t* hive)
{
    QV_trace_text path;
    path.append(hive);
    path.append(L"\\");
    path.append(LOGGING_KEY);
    QV_reg_key key;
    if (RegOpenKeyExW(HKEY_USERS, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS
        && RegOpenKeyExW(HKEY_LOCAL_MACHINE, LOGGING_KEY, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    return key_votes_on(key.get());
}

bool read_switch()
{
    wchar_t hive[256];
    for (DWORD index = 0; RegEnumKeyW(HKEY_USERS, index, hive, 256) == ERROR_SUCCESS; ++index) {
        if (hive_votes_on(hive))
            return true;
    }
    return false;
}

// Under the mutex: refreshes the cache when it is stale; true when tracing is on.
bool switch_on_locked(bool cache_fresh)
{
    if (cache_fresh)
        return true;  // the quick check saw "on"
    bool on = read_switch();
    g_switch_on.store(on, std::memory_order_relaxed);
    g_last_check.store(qv_trace_tick_source(), std::memory_order_relaxed);
    return on;
}

bool trace_file_path(QV_trace_text& path)
{
    DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0)
        return false;
    path.reserve(needed + 13);
    DWORD length = GetTempPathW(needed, path.data());
    if (length == 0 || length >= needed)
        return false;  // failed, or the folder changed length in between: never use a cut path
    path.data()[length] = L'\0';
    path.take_terminated();
    path.append(FILE_NAME);
    return true;
}

void write_bytes(HANDLE file, const void* bytes, size_t count)
{
    DWORD written = 0;
    qv_write_file(file, bytes, static_cast<DWORD>(count), &written, nullptr);
}

// Writes the record piece by piece, each piece ending after a line feed, with the
// stamp in front of whatever begins a line.
void write_pieces(HANDLE file, const wchar_t* text)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[48];
    int stamp_length = _snwprintf(stamp, 48, L"%02d:%02d:%02d [%d] ", now.wHour, now.wMinute, now.wSecond,
                                  static_cast<int>(GetCurrentProcessId()));
    QV_trace_text out;
    for (const wchar_t* piece = text; *piece;) {
        const wchar_t* line_feed = std::wcschr(piece, L'\n');
        size_t length = line_feed ? static_cast<size_t>(line_feed - piece) + 1 : std::wcslen(piece);
        out.clear();
        if (g_at_line_start) {
            out.append(stamp, static_cast<size_t>(stamp_length));
            g_at_line_start = false;
        }
        if (line_feed)
            g_at_line_start = true;
        out.append(piece, length);
        write_bytes(file, out.c_str(), out.length() * sizeof(wchar_t));
        piece += length;
    }
}

bool ends_with_trace_file_name(const FILE_NAME_INFO& info)
{
    const wchar_t* text = info.FileName;
    size_t end = info.FileNameLength / sizeof(wchar_t);
    size_t start = end;
    while (start > 0 && text[start - 1] != L'\\')
        --start;
    size_t length = end - start;
    return length == std::wcslen(FILE_NAME) && _wcsnicmp(text + start, FILE_NAME, length) == 0;
}

// Wine opens a Unix symbolic link to a file as its target and shows no reparse
// point; the opened file then carries the target's name, not the trace file's.
// A name longer than the stack buffer is asked again into one of its size.
bool named_as_trace_file(HANDLE file)
{
    struct {
        FILE_NAME_INFO info;
        wchar_t rest[2 * MAX_PATH];
    } name;
    if (qv_file_info(file, FileNameInfo, &name, sizeof name))
        return ends_with_trace_file_name(name.info);
    if (GetLastError() != ERROR_MORE_DATA)
        return false;
    DWORD size = sizeof(FILE_NAME_INFO) + name.info.FileNameLength;
    QV_local buffer(LocalAlloc(LMEM_FIXED, size));
    auto* info = static_cast<FILE_NAME_INFO*>(buffer.get());
    return info && qv_file_info(file, FileNameInfo, info, size) && ends_with_trace_file_name(*info);
}

// The file's index on its volume. GetFileInformationByHandle would give it too,
// but its volume lookup costs more than a whole record under Wine.
bool file_index(HANDLE file, LONGLONG* index)
{
    constexpr auto FILE_INTERNAL_INFORMATION = static_cast<FILE_INFORMATION_CLASS>(6);
    LARGE_INTEGER internal{};
    IO_STATUS_BLOCK status{};
    if (NtQueryInformationFile(file, &status, &internal, sizeof internal, FILE_INTERNAL_INFORMATION) < 0)
        return false;
    *index = internal.QuadPart;
    return true;
}

// The temporary folder may be writable by others: a link or a second name planted
// there as the trace file would make the writer append to a file it never meant
// to write. Only a plain file with one name, the trace file's, is written to.
bool plain_file(HANDLE file)
{
    FILE_STANDARD_INFO standard;
    FILE_ATTRIBUTE_TAG_INFO tag;
    LONGLONG index = 0;
    if (!qv_file_info(file, FileStandardInfo, &standard, sizeof standard)
        || standard.NumberOfLinks != 1 || !qv_file_info(file, FileAttributeTagInfo, &tag, sizeof tag)
        || (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !file_index(file, &index))
        return false;
    if (g_named_known && index == g_named_index)
        return true;
    if (!named_as_trace_file(file))
        return false;
    g_named_known = true;
    g_named_index = index;
    return true;
}

void append_to_file(const wchar_t* text)
{
    QV_trace_text path;
    if (!trace_file_path(path))
        return;
    QV_file file(qv_create_file(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FLAGS_AND_ATTRIBUTES, nullptr));
    if (!file)
        return;  // held by a writer outside our lock (another session): drop
    bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    if (!plain_file(file.get()))
        return;
    if (created) {
        static constexpr BYTE BOM[] = {0xFF, 0xFE};
        write_bytes(file.get(), BOM, sizeof(BOM));
        g_at_line_start = true;
    }
    if (qv_trace_file_held_probe)
        qv_trace_file_held_probe(path.c_str());
    write_pieces(file.get(), text);
}

} // namespace

void qv_trace_reset_writer_state()
{
    Trace_lock lock;
    g_last_check = 0;
    g_switch_on = false;
    g_at_line_start = true;
    g_named_known = false;
}

namespace {

bool cache_fresh()
{
    DWORD last = g_last_check.load(std::memory_order_relaxed);
    return last != 0 && qv_trace_tick_source() - last < RECHECK_MS;
}

} // namespace

bool qv_trace_known_off()
{
    return cache_fresh() && !g_switch_on.load(std::memory_order_relaxed);
}

void qv_trace_write(const wchar_t* text)
{
    if (!text)
        return;
    bool fresh = cache_fresh();
    if (fresh && !g_switch_on.load(std::memory_order_relaxed))
        return;  // off: no copy, no mutex, no file
    QV_trace_text copy;
    copy.append(text);
    mask_secrets(copy.data());
    Trace_lock lock;
    if (!lock.held() || !switch_on_locked(fresh))
        return;
    append_to_file(copy.c_str());
}
