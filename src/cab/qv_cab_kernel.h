#pragma once
// Keeps the cabinet library loaded for as long as a writer lives.

#include <windows.h>

class QV_cab_kernel {
public:
    QV_cab_kernel();
    virtual ~QV_cab_kernel();
    QV_cab_kernel(const QV_cab_kernel&) = delete;
    QV_cab_kernel& operator=(const QV_cab_kernel&) = delete;

protected:
    // Null when the library did not load by name; the writer still works, since
    // the entry points are bound when the program is loaded.
    HMODULE library_module = nullptr;
};
