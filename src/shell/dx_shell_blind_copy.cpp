// -blind_copy: copies one file without any prompt, under the driver's blind-copy
// names when the driver offers the source under one, then has the driver carry
// the file's special information over. Only a failed copy is reported.

#include "shell/dx_shell_commands.h"

#include "base/qv_message_box.h"
#include "base/qv_os.h"
#include "base/qv_system_message.h"
#include "base/qv_unique.h"
#include "shell/dx_driver_com.h"
#include "shell/dx_shell_output.h"
#include "trace/qv_trace.h"

#include <ole2.h>

namespace {

constexpr const wchar_t* BLIND_COPY = L"dx_shell_blind_copy";
// Appended to a path, it names the file as the driver offers it for a blind copy.
constexpr const wchar_t BLIND_COPY_SUFFIX[] = L"\xECF7";

struct Blind_copy_names {
    QV_path source;
    QV_path destination;
    QV_path source_suffixed;
    QV_path destination_suffixed;
};

// Both paths absolute; a folder destination receives the file under its own name.
Blind_copy_names resolve(const QV_path& source, const QV_path& destination)
{
    Blind_copy_names names{source.full_path(), destination.full_path(), {}, {}};
    if (names.destination.exists() && !names.destination.is_file())
        names.destination = join(names.destination, names.source.file_name());
    names.source_suffixed = names.source + BLIND_COPY_SUFFIX;
    names.destination_suffixed = names.destination + BLIND_COPY_SUFFIX;
    return names;
}

// Volume serial number and file index: the same for every name of one file.
bool file_identity(const QV_path& path, BY_HANDLE_FILE_INFORMATION& info)
{
    QV_file file(qv_create_file(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.get(), &info);
}

bool same_file(const QV_path& a, const QV_path& b)
{
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return file_identity(a, x) && file_identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber
           && x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// Opened as the copy will open it.
bool readable(const QV_path& path)
{
    QV_file file(qv_create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             0, nullptr));
    return file.valid();
}

bool read_only(const QV_path& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// An old destination moved out of the copy's way, under a free name in its folder.
struct Set_aside {
    QV_path old;
    QV_path aside;  // empty when nothing was moved
};

// The copy overwrites, but the driver's suffixed destination must go first. It is
// moved aside rather than deleted, so that a copy that fails (a full disk) loses
// nothing. Never another name of the source itself, never while the copy cannot
// read its source, and never a read-only file: the copy meets that one as the
// removal did, and is refused where the system protects it.
Set_aside move_old_destination_aside(const Blind_copy_names& names, const QV_path& from)
{
    const QV_path& old = names.destination_suffixed.exists() ? names.destination_suffixed : names.destination;
    if (!old.exists() || same_file(old, names.source) || same_file(old, from) || !readable(from) || read_only(old))
        return {};
    QV_path aside = (old + L".old").unique_name();
    if (!aside.has_text() || !qv_move_file(old.c_str(), aside.c_str(), MOVEFILE_COPY_ALLOWED))
        return {};
    return {old, aside};
}

// A failed copy takes back what it left under the destination name, when the
// name was free before it, and the old destination returns.
void undo_failed_copy(const QV_path& to, bool to_was_free, const Set_aside& set_aside)
{
    if (to_was_free)
        qv_delete_file(to.c_str());
    if (set_aside.aside.has_text())
        qv_move_file(set_aside.aside.c_str(), set_aside.old.c_str(), MOVEFILE_COPY_ALLOWED);
}

class Ole_scope {
public:
    Ole_scope() : result_(OleInitialize(nullptr)) {}
    ~Ole_scope()
    {
        if (SUCCEEDED(result_))
            OleUninitialize();
    }
    Ole_scope(const Ole_scope&) = delete;
    Ole_scope& operator=(const Ole_scope&) = delete;

private:
    HRESULT result_;
};

void copy_special_info(const QV_path& from, const QV_path& to)
{
    Ole_scope ole;
    QV_driver_com driver;
    if (FAILED(dx_dc_create_driver(driver)))
        return;
    HRESULT result = driver->copy_special_info(from.c_str(), to.c_str(), 1);
    if (result != 0)
        qv_trace_printf(BLIND_COPY, L"Unable to copy special info from file %s to %s: %08X\n", from.c_str(), to.c_str(),
                        result);
}

void report_copy_failure(bool gui, DWORD code)
{
    QV_local system_text = qv_system_message(code);
    auto* text = static_cast<const wchar_t*>(system_text.get());
    QV_string shown = text ? QV_string(text) : QV_stringf(L"blind_copy failed Error: 0x%08x\n", code);
    if (gui)
        qv_error_box(shown, QV_PRODUCT_CAPTION, nullptr, nullptr);
    else if (text)
        dx_shell_write_error_oem(text);
    else
        dx_shell_write_error(shown.c_str());
}

} // namespace

void dx_shell_blind_copy(bool gui, const QV_path& source, const QV_path& destination)
{
    qv_trace_enter(BLIND_COPY, 0);
    Blind_copy_names names = resolve(source, destination);
    bool source_exists = names.source.exists();
    bool offered_suffixed = names.source_suffixed.exists();
    const QV_path& from = offered_suffixed ? names.source_suffixed : names.source;
    const QV_path& to = offered_suffixed ? names.destination_suffixed : names.destination;
    Set_aside set_aside;
    if (source_exists && !same_path(names.source, names.destination))
        set_aside = move_old_destination_aside(names, from);
    bool to_was_free = !to.exists();
    if (!qv_copy_file(from.c_str(), to.c_str(), FALSE)) {
        DWORD code = GetLastError();
        undo_failed_copy(to, to_was_free, set_aside);
        report_copy_failure(gui, code);
        return;
    }
    if (set_aside.aside.has_text())
        qv_delete_file(set_aside.aside.c_str());
    copy_special_info(from, to);
}
