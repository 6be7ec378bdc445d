#include "cab/qv_cab.h"

#include "cab/qv_cab_basic.h"

#include <new>

QV_cab* QV_cab::create(const wchar_t* destination, bool overwrite, bool create_directory)
{
    (void)overwrite, (void)create_directory;  // folder and replacement handling come with the path type
    QV_cab_basic* writer = new (std::nothrow) QV_cab_basic(destination);
    if (writer != nullptr && !writer->is_open()) {
        writer->release();
        return nullptr;
    }
    return writer;
}
