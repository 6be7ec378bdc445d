// Writes a cabinet with the program's cabinet writer, for the scripts that read
// it back with independent readers.
//
//   cab_write <cabinet> [<source> <name in cabinet>]... [+<source>]...
//
// A source written as +<path> is added under its own name. Prints one line per
// add ("add <name> 1|0") and "flush 1|0"; the exit code is 0 when the flush
// succeeded, 1 when it failed, 2 when no writer could be made.

#include "cab/qv_cab.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr)
        return 2;
    if (argc < 2) {
        fwprintf(stderr, L"usage: cab_write <cabinet> [<source> <name>]... [+<source>]...\n");
        return 2;
    }
    QV_cab* cab = QV_cab::create(argv[1], true, true);
    if (cab == nullptr) {
        printf("create 0\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        bool added = false;
        if (argv[i][0] == L'+') {
            added = cab->add_file(argv[i] + 1);
        } else if (i + 1 < argc) {
            added = cab->add_file(argv[i], argv[i + 1]);
            ++i;
        }
        printf("add %d\n", added ? 1 : 0);
    }
    bool flushed = cab->flush();
    cab->release();
    printf("flush %d\n", flushed ? 1 : 0);
    return flushed ? 0 : 1;
}
