#pragma once
// The cabinet library's compression entry points, taken from the system folder's
// cabinet.dll (never from a file of that name beside the program) when first used
// and kept for the life of the process. The calls in namespace qv_fci have the
// library's own names and signatures; when the library or an entry point cannot be
// had they fail as the library's own calls fail: FCICreate gives null with the
// error record's fError set, the others give FALSE.

#include <windows.h>
#include <fci.h>

struct QV_fci_entry_points {
    decltype(&::FCICreate) create = nullptr;
    decltype(&::FCIAddFile) add_file = nullptr;
    decltype(&::FCIFlushCabinet) flush_cabinet = nullptr;
    decltype(&::FCIFlushFolder) flush_folder = nullptr;
    decltype(&::FCIDestroy) destroy = nullptr;
};

// The entry points of the system folder's cabinet library, bound on the first call;
// each is null when it cannot be had.
const QV_fci_entry_points& qv_fci_entry_points();

// Test seam: when not null, the entry points every qv_fci call goes through.
extern const QV_fci_entry_points* qv_fci_entry_points_override;

namespace qv_fci {

HFCI FCICreate(PERF perf, PFNFCIFILEPLACED placed, PFNFCIALLOC alloc, PFNFCIFREE free, PFNFCIOPEN open,
               PFNFCIREAD read, PFNFCIWRITE write, PFNFCICLOSE close, PFNFCISEEK seek, PFNFCIDELETE remove,
               PFNFCIGETTEMPFILE temp_file, PCCAB cabinet, void* context);
BOOL FCIAddFile(HFCI context, LPSTR source, LPSTR name, BOOL execute, PFNFCIGETNEXTCABINET next_cabinet,
                PFNFCISTATUS status, PFNFCIGETOPENINFO open_info, TCOMP compression);
BOOL FCIFlushCabinet(HFCI context, BOOL get_next_cabinet, PFNFCIGETNEXTCABINET next_cabinet,
                     PFNFCISTATUS status);
BOOL FCIFlushFolder(HFCI context, PFNFCIGETNEXTCABINET next_cabinet, PFNFCISTATUS status);
BOOL FCIDestroy(HFCI context);

}  // namespace qv_fci
