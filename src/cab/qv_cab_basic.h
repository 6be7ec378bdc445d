#pragma once
// The cabinet writer over the cabinet library's compression interface.
//
// The archive is written into a reservation in the destination's folder (see
// QV_cab_reservation) and renamed to the destination only when the library has
// finished it and its bytes are flushed to the disk, so a failed or abandoned
// archive, or one a power cut caught, never appears under the destination name, and the destination's own name never has to pass through the
// ANSI code page. The rename never replaces a file: when the destination was
// taken meanwhile, the archive gets the first free "name (n)" beside it.
//
// An archive too large for one cabinet is refused: the library would go on into
// follow-on cabinets that could not be named after the archive, so flush fails.
//
// No folder of the archive passes qv_cab_folder_limit uncompressed bytes: a file
// that would take the current folder past it starts a new folder, and a file
// larger than a whole folder is archived as its most recent part that fits (see
// qv_cab_open_source), with a trace record of the bytes left out.

#include "base/qv_path.h"
#include "base/qv_unique.h"
#include "cab/qv_cab.h"
#include "cab/qv_cab_callbacks.h"
#include "cab/qv_cab_kernel.h"
#include "cab/qv_cab_reservation.h"
#include "cab/qv_fci.h"

#include <windows.h>
#include <fci.h>

#include <string>

struct QV_fci_traits {
    using type = HFCI;
    static type invalid() { return nullptr; }
    static void close(type context) { qv_fci::FCIDestroy(context); }
};
using QV_fci = QV_unique<QV_fci_traits>;  // null when the library gave no context

// Test seam: the largest cabinet and folder a writer sets the library up for;
// 1,000,000,000 bytes.
extern ULONG qv_cab_largest_cabinet;

class QV_cab_basic : public QV_cab, public QV_cab_kernel {
public:
    // Opens a writer for destination (a file path; a path without "\" names a
    // file in the current folder). The folder must exist. is_open() tells whether
    // the writer can take files.
    explicit QV_cab_basic(const wchar_t* destination);
    ~QV_cab_basic() override;

    bool add_file(const wchar_t* source, const wchar_t* name_in_cabinet) override;
    bool add_file(const wchar_t* source) override;
    bool add_open_file(HANDLE source, const wchar_t* shown_as, const wchar_t* name_in_cabinet) override;
    bool flush() override;
    const wchar_t* archive_path() const override { return final_path.c_str(); }
    void report_progress(QV_progress* progress, ULONGLONG total) override;

    bool is_open() const { return fci_context.valid(); }
    // The library's error record of the last failure; for diagnosis only.
    const ERF& error() const { return fci_error; }

private:
    bool set_destination(const wchar_t* destination);
    static QV_cab_basic* writer_of(void* context);
    // The open and delete callbacks: the cabinet is the reservation, every other
    // file (sources and the library's scratch files) goes by name.
    static FNFCIOPEN(open_file);
    static FNFCIDELETE(delete_file);
    static FNFCIGETNEXTCABINET(refuse_next_cabinet);
    // The read callback, noting a failed read: the library takes it for the end of
    // the file and would store the member cut short. A read of a source is a step
    // of the progress, and fails once the progress is stopped.
    static FNFCIREAD(read_file);
    bool source_read_stopped(INT_PTR descriptor, UINT count);
    // The open-information callback, with the room left in the current folder.
    static FNFCIGETOPENINFO(open_source);
    bool make_room(__int64 size);
    // Hands one source to the library under its narrow name; shown_as names it in
    // the trace when it is cut.
    bool add_to_library(char* library_source, const std::string& name, const wchar_t* shown_as);

    QV_fci fci_context;
    ERF fci_error;
    CCAB cabinet_parameters;
    QV_path final_path;
    QV_cab_reservation reservation;
    std::string cabinet_library_path;  // what the library opens for the cabinet
    bool spilled = false;              // the library asked for a follow-on cabinet
    bool read_failed = false;          // a read of a source or scratch file failed
    __int64 folder_bytes = 0;          // uncompressed bytes in the current folder
    QV_cab_source_part last_part;      // what the last open took of its source
    HANDLE held_source = nullptr;      // the open source add_open_file is adding
    QV_progress* progress = nullptr;   // told of the sources' bytes read, when set
    ULONGLONG progress_total = 0;
    ULONGLONG source_bytes_read = 0;
};
