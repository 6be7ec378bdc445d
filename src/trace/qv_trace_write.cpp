// The writer every record goes through: secrets masked, the machine-wide switch
// read at most once per 3,000 ms, and each line appended to "TraceFile.qv" in the
// temporary folder under the session-wide trace mutex.
#include "trace/qv_trace.h"

#include "base/qv_exact_file.h"
#include "base/qv_mutex.h"
#include "base/qv_os.h"
#include "base/qv_unique.h"
#include "trace/qv_trace_seams.h"
#include "trace/qv_trace_text.h"

#include <atomic>
#include <cwchar>

DWORD(WINAPI* qv_trace_tick_source)() = GetTickCount;
void (*qv_trace_file_held_probe)(const wchar_t* path) = nullptr;

namespace {

constexpr const wchar_t* MUTEX_NAME = L"{7E40A9C5-62D1-4f3b-8C17-B95E03D2A64C}_QVA";
constexpr const wchar_t* FILE_NAME = L"TraceFile.qv";
constexpr DWORD RECHECK_MS = 3000;
// Every write lands at the end; readers may look on; a missing file is created
// (exclusively); write-through.
constexpr QV_exact_open TRACE_FILE_OPEN{FILE_APPEND_DATA, FILE_SHARE_READ, true, FILE_WRITE_THROUGH};

// Read without the mutex by the quick check; a stale read only delays a switch
// by one record.
std::atomic<DWORD> g_last_check{0};
std::atomic<bool> g_switch_on{false};
// Guarded by the trace mutex.
bool g_at_line_start = true;
// The trace file last proven to be in the temporary folder: its name is asked
// again only when another file is met.
QV_exact_memo g_trace_file_memo;
// The temporary folder, held between records so that a record costs one open. It
// is looked up by its path again when the path changes, when a record cannot be
// opened in it, and at least every RECHECK_MS, so a folder moved away is left
// within one switch interval.
struct Held_folder {
    QV_exact_folder folder;
    QV_trace_text path;
    DWORD opened_at = 0;
    bool held = false;
};
// Never destroyed: a record written while the process's statics are torn down
// still finds it whole.
Held_folder& g_temp_folder = *new Held_folder;
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
    if (qv_reg_query_value_ex(key, QV_TRACE_SWITCH_VALUE, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || type != REG_DWORD || size != sizeof(DWORD))
        return false;
    DWORD value = 0;
    return qv_reg_query_value_ex(key, QV_TRACE_SWITCH_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size)
               == ERROR_SUCCESS
           && type == REG_DWORD && size == sizeof(DWORD) && value == 1;
}

// The logging key of one loaded user hive, or the machine's when the hive has none.
bool hive_votes_on(const wchar_t* hive)
{
    QV_trace_text path;
    path.append(hive);
    path.append(L"\\");
    path.append(QV_LOGGING_KEY);
    QV_reg_key key;
    if (qv_reg_open_key(HKEY_USERS, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS
        && qv_reg_open_key(HKEY_LOCAL_MACHINE, QV_LOGGING_KEY, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    return key_votes_on(key.get());
}

// The name of loaded hive number index into hive (256 characters).
bool hive_at(DWORD index, wchar_t* hive)
{
    DWORD length = 256;
    return qv_reg_enum_key(HKEY_USERS, index, hive, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool read_switch()
{
    wchar_t hive[256];
    for (DWORD index = 0; hive_at(index, hive); ++index) {
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

bool temp_folder_path(QV_trace_text& path)
{
    DWORD needed = qv_get_temp_path(0, static_cast<wchar_t*>(nullptr));
    if (needed == 0)
        return false;
    path.reserve(needed);
    DWORD length = qv_get_temp_path(needed, path.data());
    if (length == 0 || length >= needed)
        return false;  // failed, or the folder changed length in between: never use a cut path
    path.data()[length] = L'\0';
    path.take_terminated();
    return true;
}

bool folder_fresh(const QV_trace_text& path)
{
    return g_temp_folder.held && std::wcscmp(g_temp_folder.path.c_str(), path.c_str()) == 0
           && qv_trace_tick_source() - g_temp_folder.opened_at < RECHECK_MS;
}

// Holds the folder at path now; nothing is held when it cannot be opened.
bool hold_folder(const QV_trace_text& path)
{
    QV_exact_folder fresh;
    bool opened = qv_open_exact_folder(path.c_str(), fresh);
    g_temp_folder.folder = std::move(fresh);
    g_temp_folder.held = opened;
    g_temp_folder.path.clear();
    g_temp_folder.path.append(path.c_str());
    g_temp_folder.opened_at = qv_trace_tick_source();
    return opened;
}

// The trace file in the temporary folder, opened or created there. A held folder
// that refuses is looked up once more: it may have been removed or moved since. A
// file held by a writer outside our lock says nothing of the folder: no new look.
QV_file open_trace_file(const QV_trace_text& folder_path, bool* created)
{
    bool fresh = folder_fresh(folder_path);
    if (!fresh && !hold_folder(folder_path))
        return QV_file();
    QV_file file = qv_open_exact_file(g_temp_folder.folder, FILE_NAME, TRACE_FILE_OPEN, created, &g_trace_file_memo);
    if (file || !fresh || GetLastError() == ERROR_SHARING_VIOLATION || !hold_folder(folder_path))
        return file;
    return qv_open_exact_file(g_temp_folder.folder, FILE_NAME, TRACE_FILE_OPEN, created, &g_trace_file_memo);
}

void write_bytes(HANDLE file, const void* bytes, size_t count)
{
    DWORD written = 0;
    qv_write_file(file, bytes, static_cast<DWORD>(count), &written, nullptr);
}

// A new file begins with the byte-order mark, and so does one a writer left empty
// (cut short between its create and its mark); false when the mark is missing and
// cannot be written. The file this process last wrote a record into (known) holds
// at least that record, so only another file is asked its size.
bool marked(HANDLE file, bool created, bool known)
{
    LARGE_INTEGER size{};
    if (!created && (known || !qv_file_size(file, &size) || size.QuadPart != 0))
        return true;
    g_at_line_start = true;
    static constexpr BYTE BOM[] = {0xFF, 0xFE};
    DWORD written = 0;
    return qv_write_file(file, BOM, sizeof(BOM), &written, nullptr) && written == sizeof(BOM);
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

void append_to_file(const wchar_t* text)
{
    QV_trace_text folder_path;
    if (!temp_folder_path(folder_path))
        return;
    // The temporary folder may be writable by others: a link or a second name planted
    // there as the trace file must never make the writer append to, or create,
    // another file.
    bool created = false;
    QV_exact_memo before = g_trace_file_memo;
    QV_file file = open_trace_file(folder_path, &created);
    if (!file)
        return;  // held by a writer outside our lock (another session), or not the trace file: drop
    bool known = before.known && before.volume == g_trace_file_memo.volume && before.index == g_trace_file_memo.index;
    if (!marked(file.get(), created, known)) {
        g_trace_file_memo = QV_exact_memo{};  // its size is asked again next time
        return;  // never a record in a file without its mark
    }
    if (qv_trace_file_held_probe) {
        folder_path.append(FILE_NAME);
        qv_trace_file_held_probe(folder_path.c_str());
    }
    write_pieces(file.get(), text);
}

} // namespace

void qv_trace_reset_writer_state()
{
    Trace_lock lock;
    g_last_check = 0;
    g_switch_on = false;
    g_at_line_start = true;
    g_trace_file_memo = QV_exact_memo{};
    g_temp_folder.folder = QV_exact_folder{};
    g_temp_folder.held = false;
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
