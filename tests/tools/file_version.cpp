// file_version <path>...: prints one line per file, "<path>|<FileVersion>", read
// with the program's own version reader from the file mapped as data; the version
// is empty when the file or its version text cannot be read.
#include "base/qv_version.h"
#include "shell/dx_shell_output.h"

#include <shellapi.h>

#include <string>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    for (int i = 1; i < argc; ++i) {
        std::wstring line = std::wstring(argv[i]) + L"|";
        HMODULE file = LoadLibraryExW(argv[i], nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (file) {
            QV_string version = qv_get_file_version_string(file);
            if (!version.is_null())
                line += version.c_str();
            FreeLibrary(file);
        }
        dx_shell_write_console((line + L"\n").c_str());
    }
    LocalFree(argv);
    return 0;
}
