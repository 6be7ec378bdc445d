#pragma once
// Libraries of the system, taken from the system folder only.
//
// Windows looks for a library that is not one of its known DLLs in the program's
// own folder first, then in the current folder. A copy of this program in a folder
// that others can write would run whatever library of such a name lies beside it,
// with the program's rights, and with administrator rights in an elevated start.
// So the program imports only known DLLs, restricts the search of the whole process
// at its entry points, and takes every other system library through this header.

#include <windows.h>

// Restricts the search for libraries loaded by name, the program's own and those the
// system loads on its behalf, to the system folder: never the program's folder, the
// current folder or the PATH. Where the system lacks SetDefaultDllDirectories
// (Windows 7 without its update) only the current folder is taken out of the search.
// The entry points call it before anything else. Writes no trace and leaves the
// thread's last error as it was.
void qv_restrict_library_search();

// Loads the library file_name (a plain file name such as L"cabinet.dll") from the
// system folder, by its full path there, and its own imports from the system folder
// too where the system can be told so. Never loads a file of that name from anywhere
// else. Null when file_name is null, empty, "." or "..", longer than 64 characters
// or holds "\", "/" or ":" (last error ERROR_INVALID_PARAMETER), or when the library
// cannot be loaded from the system folder (last error from the load, which leaves a
// message and an error record in the trace). The caller frees a library it got with
// FreeLibrary.
HMODULE qv_load_system_library(const wchar_t* file_name);

// The function that library exports under name, typed as Function (a function type,
// e.g. decltype(::VerQueryValueW)); null when library is null or has no such export.
template <typename Function>
Function* qv_library_function(HMODULE library, const char* name)
{
    if (library == nullptr)
        return nullptr;
    // Through the generic function pointer type: the export's real type is the
    // caller's to name.
    auto generic = reinterpret_cast<void (*)()>(GetProcAddress(library, name));
    return reinterpret_cast<Function*>(generic);
}
