#include "cab/qv_fci.h"

#include "base/qv_system_library.h"

namespace {

QV_fci_entry_points bind_cabinet_library()
{
    QV_fci_entry_points bound;
    // Kept loaded for the life of the process: contexts may outlive any one writer's
    // reference, and the entry points are bound once.
    HMODULE library = qv_load_system_library(L"cabinet.dll");
    bound.create = qv_library_function<decltype(::FCICreate)>(library, "FCICreate");
    bound.add_file = qv_library_function<decltype(::FCIAddFile)>(library, "FCIAddFile");
    bound.flush_cabinet = qv_library_function<decltype(::FCIFlushCabinet)>(library, "FCIFlushCabinet");
    bound.flush_folder = qv_library_function<decltype(::FCIFlushFolder)>(library, "FCIFlushFolder");
    bound.destroy = qv_library_function<decltype(::FCIDestroy)>(library, "FCIDestroy");
    return bound;
}

const QV_fci_entry_points& active()
{
    return qv_fci_entry_points_override != nullptr ? *qv_fci_entry_points_override : qv_fci_entry_points();
}

}  // namespace

const QV_fci_entry_points* qv_fci_entry_points_override = nullptr;

const QV_fci_entry_points& qv_fci_entry_points()
{
    static const QV_fci_entry_points bound = bind_cabinet_library();
    return bound;
}

namespace qv_fci {

HFCI FCICreate(PERF perf, PFNFCIFILEPLACED placed, PFNFCIALLOC alloc, PFNFCIFREE free, PFNFCIOPEN open,
               PFNFCIREAD read, PFNFCIWRITE write, PFNFCICLOSE close, PFNFCISEEK seek, PFNFCIDELETE remove,
               PFNFCIGETTEMPFILE temp_file, PCCAB cabinet, void* context)
{
    auto create = active().create;
    if (create == nullptr) {
        if (perf != nullptr) {
            perf->erfOper = FCIERR_NONE;
            perf->erfType = ERROR_PROC_NOT_FOUND;
            perf->fError = TRUE;
        }
        return nullptr;
    }
    return create(perf, placed, alloc, free, open, read, write, close, seek, remove, temp_file, cabinet, context);
}

BOOL FCIAddFile(HFCI context, LPSTR source, LPSTR name, BOOL execute, PFNFCIGETNEXTCABINET next_cabinet,
                PFNFCISTATUS status, PFNFCIGETOPENINFO open_info, TCOMP compression)
{
    auto add_file = active().add_file;
    if (add_file == nullptr)
        return FALSE;
    return add_file(context, source, name, execute, next_cabinet, status, open_info, compression);
}

BOOL FCIFlushCabinet(HFCI context, BOOL get_next_cabinet, PFNFCIGETNEXTCABINET next_cabinet, PFNFCISTATUS status)
{
    auto flush_cabinet = active().flush_cabinet;
    if (flush_cabinet == nullptr)
        return FALSE;
    return flush_cabinet(context, get_next_cabinet, next_cabinet, status);
}

BOOL FCIFlushFolder(HFCI context, PFNFCIGETNEXTCABINET next_cabinet, PFNFCISTATUS status)
{
    auto flush_folder = active().flush_folder;
    if (flush_folder == nullptr)
        return FALSE;
    return flush_folder(context, next_cabinet, status);
}

BOOL FCIDestroy(HFCI context)
{
    auto destroy = active().destroy;
    if (destroy == nullptr)
        return FALSE;
    return destroy(context);
}

}  // namespace qv_fci
