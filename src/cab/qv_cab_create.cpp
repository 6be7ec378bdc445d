#include "cab/qv_cab.h"

#include "base/qv_os.h"
#include "base/qv_path.h"
#include "cab/qv_cab_basic.h"

#include <new>

QV_cab* QV_cab::create(const wchar_t* destination, bool overwrite, bool create_directory)
{
    if (destination == nullptr)
        return nullptr;
    QV_path target(destination);
    // A name without folder lives in the current folder, which is there already.
    QV_path folder = target.parent();
    if (create_directory && folder.has_text() && !folder.create_directory_tree())
        return nullptr;
    if (overwrite && target.exists() && !qv_delete_file(destination))
        return nullptr;
    QV_cab_basic* writer = new (std::nothrow) QV_cab_basic(destination);
    QV_cab_owner owner(writer);
    if (writer != nullptr && !writer->is_open())
        return nullptr;
    return owner.release();
}
