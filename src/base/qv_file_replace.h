#pragma once
// Replacing a file by a copy without a moment where its name holds neither the
// old file nor the whole new one.

#include "base/qv_path.h"
#include "base/qv_progress.h"

#include <windows.h>

#include <functional>

// Copies source (as CopyFileW does: contents, attributes and times) to destination so that
// destination names the whole old file (or nothing, if it named nothing) until the
// copy is complete and the whole new file from then on, also when the process is
// killed half-way or the power fails; a partial copy never appears under
// destination. The bytes go to a temporary file of this process with a short name
// of its own in destination's folder (qv_temporary_name_beside), are flushed to the
// disk (FlushFileBuffers), and the file then takes destination's place in one
// rename through the handle that wrote it (FileRenameInfo, replacing). That
// handle is held, unshared, from the file's creation to its rename or removal:
// what the rename moves, or a failure removes, is always the copy this process
// wrote, never a file that another user put under the temporary name. Both paths
// are absolute; any name and path length the system accepts works.
// before_replace, when given, runs once the copy is complete, just before the
// rename. progress, when given, is told the
// bytes copied after every block; once it is stopped the copy ends at its next
// block with ERROR_CANCELLED, as any failure does.
//
// Returns 0 or the Win32 error of the step that failed. On failure destination is
// as it was and the temporary file is gone; a removal that fails is traced with
// the temporary file's name. A destination that is a folder is never touched:
// ERROR_ACCESS_DENIED, as a copy onto it gives. A process killed half-way leaves its
// temporary file beside destination, never a partial destination.
DWORD qv_copy_file_replacing(const QV_path& source, const QV_path& destination,
                             const std::function<void()>& before_replace = {}, QV_progress* progress = nullptr);

// A free-looking name for a temporary file of this process beside path (absolute):
// "~qv<process id>-<n>.tmp" in path's folder, short so that it fits wherever path's
// own name does, with n counting up per call, in the extended form. The
// caller creates the file exclusively and asks again when the name is taken.
QV_path qv_temporary_name_beside(const QV_path& path);

// Hands take() fresh temporary names beside path until it takes one that was free
// (take creates or moves a file there exclusively, answering false with the last
// error set when it cannot). Gives the name taken; on failure the empty path, with
// the last error of take, or ERROR_FILE_EXISTS when every name tried was taken.
QV_path qv_take_temporary_name_beside(const QV_path& path, const std::function<bool(const QV_path&)>& take);

