#pragma once
// The callbacks the cabinet library calls while a writer builds an archive.
// Files are runtime descriptors; failures leave the runtime's errno in the
// library's error slot so that it lands in the writer's error record. Files the
// library creates exclusively (its scratch files) are deleted when closed, and
// deleting a file that is already gone succeeds. Sources are opened sharing reads
// and writes, so programs tracing into them go on while an archive is made; the
// library reads each source up to the end it had when it was opened. Files the
// library writes (the cabinet, its scratch files) deny other writers.

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
FNFCISTATUS(qv_cab_status);
FNFCIGETOPENINFO(qv_cab_open_info);

// Whether the open-information callback would take the file now, and its size
// then (when size is not null; untouched on false). The library leaves its
// context unable to flush after a source it could not open, so the writer asks
// first and keeps such a file away from it.
bool qv_cab_source_readable(const char* name, __int64* size = nullptr);

// The most uncompressed bytes one folder of an archive may hold: a folder counts
// its 32 KB data blocks in 16 bits, so 65,535 blocks of 32,768 bytes. Readers
// reject a folder past it. A test seam; the writer never changes it.
extern __int64 qv_cab_folder_limit;

// What the library reads of a source that had more bytes than its room.
struct QV_cab_source_part {
    __int64 kept = 0;      // bytes the library reads
    __int64 left_out = 0;  // bytes of the file it does not read
};

// The open-information callback with room bytes left in the folder: the
// descriptor reads the whole source as it was at the open when it fits; else its
// byte-order mark (when it begins with FF FE, the mark of a trace file) followed
// by its most recent part that fits room, starting at the start of a line (after
// a UTF-16 line feed in a file with the mark, after a byte 0x0A in one without);
// only the mark when no line starts in that part. part says what was kept. -1 on
// failure, part untouched. qv_cab_open_info is this with the whole folder limit.
INT_PTR qv_cab_open_source(const char* name, USHORT* date, USHORT* time, USHORT* attributes, int* err,
                           __int64 room, QV_cab_source_part* part);

// qv_cab_open_source for a source the caller holds open with read access: the
// library reads a duplicate of that handle, so what was checked through it is
// what is archived; no file is opened by name. Attributes are the handle's.
INT_PTR qv_cab_open_held_source(HANDLE source, USHORT* date, USHORT* time, USHORT* attributes, int* err,
                                __int64 room, QV_cab_source_part* part);

// Whether descriptor is a source the library reads (not the cabinet or a
// scratch file).
bool qv_cab_is_source(INT_PTR descriptor);

// Marks descriptor, just opened for the library outside these callbacks, as a
// file the library writes: its reads and seeks reach the whole file, whatever an
// earlier file of the same number (closed without the close callback) left.
void qv_cab_opened_for_writing(int descriptor);
