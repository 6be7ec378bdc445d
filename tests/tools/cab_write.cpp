// Writes a cabinet with the program's cabinet writer, for the scripts that read
// it back with independent readers.
//
//   cab_write [-a <hex attributes> <path>]... [-t <YYYYMMDDhhmmss local> <path>]...
//             [-hold <event name>] [-folder_limit <bytes>] <cabinet> [<source> <name in cabinet>]...
//             [+<source>]...
//
// -a and -t prepare a source first (its attributes, its last-write time in local
// time). A source written as +<path> is added under its own name. Prints "add 1|0"
// per file and "flush 1|0"; the exit code is 0 when the flush succeeded, 1 when
// it failed, 2 when no writer could be made or the arguments are wrong. With
// -hold, the writer stops after the adds, sets the named event and waits there to
// be killed, as a collect killed midway would be. -folder_limit lowers the most
// uncompressed bytes a folder of the cabinet holds.

#include "cab/qv_cab.h"
#include "cab/qv_cab_callbacks.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace {

bool set_local_write_time(const wchar_t* stamp, const wchar_t* path)
{
    SYSTEMTIME local = {};
    if (swscanf(stamp, L"%4hu%2hu%2hu%2hu%2hu%2hu", &local.wYear, &local.wMonth, &local.wDay, &local.wHour,
                &local.wMinute, &local.wSecond) != 6)
        return false;
    FILETIME local_time, utc_time;
    if (!SystemTimeToFileTime(&local, &local_time) || !LocalFileTimeToFileTime(&local_time, &utc_time))
        return false;
    HANDLE file = CreateFileW(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BOOL done = SetFileTime(file, nullptr, nullptr, &utc_time);
    CloseHandle(file);
    return done != FALSE;
}

// Applies the -a and -t options; gives the index of the cabinet argument, or 0.
int prepare_sources(int argc, wchar_t** argv)
{
    int i = 1;
    for (; i + 2 < argc && (wcscmp(argv[i], L"-a") == 0 || wcscmp(argv[i], L"-t") == 0); i += 3) {
        bool done = argv[i][1] == L'a'
                        ? SetFileAttributesW(argv[i + 2], wcstoul(argv[i + 1], nullptr, 16)) != FALSE
                        : set_local_write_time(argv[i + 1], argv[i + 2]);
        if (!done) {
            fwprintf(stderr, L"cannot prepare %ls\n", argv[i + 2]);
            return 0;
        }
    }
    return i < argc ? i : 0;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int first = argv != nullptr ? prepare_sources(argc, argv) : 0;
    if (first == 0) {
        fwprintf(stderr, L"usage: cab_write [-a hex path]... [-t stamp path]... <cabinet> [<source> <name>]... [+<source>]...\n");
        return 2;
    }
    const wchar_t* hold_event = nullptr;
    if (first + 2 < argc && wcscmp(argv[first], L"-hold") == 0) {
        hold_event = argv[first + 1];
        first += 2;
    }
    if (first + 2 < argc && wcscmp(argv[first], L"-folder_limit") == 0) {
        qv_cab_folder_limit = _wtoi64(argv[first + 1]);
        first += 2;
    }
    QV_cab_owner cab(QV_cab::create(argv[first], true, true));
    if (!cab) {
        printf("create 0\n");
        return 2;
    }
    for (int i = first + 1; i < argc; ++i) {
        bool added = false;
        if (argv[i][0] == L'+') {
            added = cab->add_file(argv[i] + 1);
        } else if (i + 1 < argc) {
            added = cab->add_file(argv[i], argv[i + 1]);
            ++i;
        }
        printf("add %d\n", added ? 1 : 0);
    }
    if (hold_event != nullptr) {
        fflush(stdout);
        HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, hold_event);
        if (held == nullptr || !SetEvent(held))
            return 2;
        Sleep(INFINITE);
    }
    bool flushed = cab->flush();
    cab.reset();
    printf("flush %d\n", flushed ? 1 : 0);
    LocalFree(argv);
    return flushed ? 0 : 1;
}
