#pragma once
// The callbacks the cabinet library calls while a writer builds an archive.
// Files are runtime descriptors; failures leave the runtime's errno in the
// library's error slot so that it lands in the writer's error record. Files the
// library creates exclusively (its scratch files) are deleted when closed, and
// deleting a file that is already gone succeeds. Sources are opened sharing reads
// and writes, so programs tracing into them go on while an archive is made; the
// library reads each source up to the end it had when it was opened.

#include <windows.h>
#include <fci.h>

#include <cstddef>

FNFCIFILEPLACED(qv_cab_file_placed);
FNFCIALLOC(qv_cab_alloc);
FNFCIFREE(qv_cab_free);
FNFCIOPEN(qv_cab_open);
FNFCIREAD(qv_cab_read);
FNFCIWRITE(qv_cab_write);
FNFCICLOSE(qv_cab_close);
FNFCISEEK(qv_cab_seek);
FNFCIDELETE(qv_cab_delete);
FNFCIGETTEMPFILE(qv_cab_temp_file);
FNFCIGETNEXTCABINET(qv_cab_next_cabinet);
FNFCISTATUS(qv_cab_status);
FNFCIGETOPENINFO(qv_cab_open_info);

// The naming rule of follow-on cabinets. The writer refuses archives that would
// need them (their names could not follow the archive's final name), so it does
// not pass qv_cab_next_cabinet to the library.
//
// The name of the cabinet that follows previous, numbered number: the stem
// (before the last ".") loses a trailing number unless it begins with a digit,
// then "%s%03d%s" of stem, number and suffix ("." when previous has none).
// trace.cab gives trace001.cab, then trace002.cab. False, with out holding the
// empty text, when the name does not fit out_size characters with its NUL.
bool qv_cab_next_name(const char* previous, int number, char* out, size_t out_size);

// Whether the open-information callback would take the file now. The library
// leaves its context unable to flush after a source it could not open, so the
// writer asks first and keeps such a file away from it.
bool qv_cab_source_readable(const char* name);
