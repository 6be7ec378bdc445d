#pragma once
// Writing files into a cabinet archive (MSZIP-compressed) through the cabinet
// library's compression interface.
//
// Order of use: QV_cab::create, add_file for each file, flush once, release.
// Files added are kept in temporary files until flush writes the archive; a
// writer released without a successful flush leaves no archive behind.

#include "base/qv_progress.h"
#include "base/qv_unique.h"

class QV_cab {
public:
    virtual ~QV_cab() = default;

    // Adds the file at source under name_in_cabinet; true when it was taken in.
    // A file that cannot be opened (or whose path has no exact ANSI or short form)
    // is not added and the archive can still be flushed with the other files.
    virtual bool add_file(const wchar_t* source, const wchar_t* name_in_cabinet) = 0;
    // Adds the file under its own name without folder; a path that names nothing
    // is passed on whole and the add fails.
    virtual bool add_file(const wchar_t* source) = 0;
    // Adds the bytes of the file the caller holds open as source (read access)
    // under name_in_cabinet: the archive takes what that handle reads, never a file
    // opened again by name. shown_as names it in the trace. True when it was taken in.
    virtual bool add_open_file(HANDLE source, const wchar_t* shown_as, const wchar_t* name_in_cabinet) = 0;
    // Writes the archive: its bytes reach the disk before it takes its name, so after
    // a kill or a power cut the name holds the whole archive or nothing of it. On
    // failure no file is left under the destination name.
    virtual bool flush() = 0;
    // The destination; after a successful flush, the name the archive was written
    // under (the first free "name (n)" beside the destination when that was taken
    // meanwhile: an existing file is never replaced by flush).
    virtual const wchar_t* archive_path() const = 0;
    // From now on progress (when not null) is told the bytes of the sources read
    // so far, against total, after each block the library reads of them. Once
    // progress is stopped the next read fails: the file being added is not taken
    // in and flush fails, leaving no archive, as after any failed read.
    virtual void report_progress(QV_progress* progress, ULONGLONG total) = 0;
    void release() { delete this; }

    // A writer for destination, or null when the destination's folder cannot be
    // made (create_directory), an existing file there cannot be removed
    // (overwrite), or the destination cannot be named to the cabinet library
    // (folder part or name longer than 255 characters, or a folder with no exact
    // ANSI or short form).
    static QV_cab* create(const wchar_t* destination, bool overwrite, bool create_directory);
};

struct QV_cab_traits {
    using type = QV_cab*;
    static type invalid() { return nullptr; }
    static void close(type writer) { writer->release(); }
};

// Holds one writer and releases it once, on every path.
using QV_cab_owner = QV_unique<QV_cab_traits>;
