#pragma once
// Keeps the system folder's cabinet library loaded for as long as a writer lives.

#include <windows.h>

class QV_cab_kernel {
public:
    QV_cab_kernel();
    virtual ~QV_cab_kernel();
    QV_cab_kernel(const QV_cab_kernel&) = delete;
    QV_cab_kernel& operator=(const QV_cab_kernel&) = delete;

protected:
    // Null when the library did not load; the writer goes on, and its calls fail
    // where the library's entry points cannot be had (qv_fci.h).
    HMODULE library_module = nullptr;
};
