#pragma once
// The cabinet writer over the cabinet library's compression interface.
//
// The archive is written under a reserved name in the destination's folder and
// renamed to the destination only when the library has finished it, so a failed
// or abandoned archive never appears under the destination name, and the
// destination's own name never has to pass through the ANSI code page.

#include "base/qv_string.h"
#include "base/qv_unique.h"
#include "cab/qv_cab.h"
#include "cab/qv_cab_kernel.h"

#include <windows.h>
#include <fci.h>

struct QV_fci_traits {
    using type = HFCI;
    static type invalid() { return nullptr; }
    static void close(type context) { FCIDestroy(context); }
};
using QV_fci = QV_unique<QV_fci_traits>;  // null when the library gave no context

class QV_cab_basic : public QV_cab, public QV_cab_kernel {
public:
    // Opens a writer for destination (a file path; a path without "\" names a
    // file in the current folder). The folder must exist. is_open() tells whether
    // the writer can take files.
    explicit QV_cab_basic(const wchar_t* destination);
    ~QV_cab_basic() override;

    bool add_file(const wchar_t* source, const wchar_t* name_in_cabinet) override;
    bool add_file(const wchar_t* source) override;
    bool flush() override;

    bool is_open() const { return fci_context.valid(); }
    // The library's error record of the last failure; for diagnosis only.
    const ERF& error() const { return fci_error; }

private:
    bool set_destination(const wchar_t* destination);
    bool reserve_staging_name(const QV_string& folder);
    void discard_staging();

    QV_fci fci_context;
    ERF fci_error;
    CCAB cabinet_parameters;
    QV_string final_path;
    QV_string staging_path;  // empty once renamed or discarded
};
