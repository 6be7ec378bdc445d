// bench_force_delete walk|shell <absolute path>: removes the tree at the path
// with the program's own removal by handle (qv_delete_tree) or with the shell's
// delete (SHFileOperationW with the flags force delete once handed it; kept here
// only, as the baseline) and prints the milliseconds the removal took, or
// "failed <code>". Run it from a scratch current folder.
#include "base/qv_paths.h"
#include "base/qv_tree_delete.h"
#include "qv_bench_clock.h"

#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace {

int shell_delete(const wchar_t* path)
{
    QV_paths source;
    source.add(QV_string(path));
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = source.file_list();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    return SHFileOperationW(&operation);
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3)
        return 2;
    bool walk = std::wcscmp(argv[1], L"walk") == 0;
    double start = qv_seconds_now();
    int result = walk ? static_cast<int>(qv_delete_tree(QV_string(argv[2]))) : shell_delete(argv[2]);
    double elapsed = qv_seconds_now() - start;
    if (result != 0)
        std::printf("failed %d\n", result);
    else
        std::printf("%.1f\n", elapsed * 1000);
    LocalFree(argv);
    return result == 0 ? 0 : 1;
}
