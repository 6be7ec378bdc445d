#include "cab/qv_cab_kernel.h"

#include "base/qv_system_library.h"

QV_cab_kernel::QV_cab_kernel() : library_module(qv_load_system_library(L"cabinet.dll")) {}

QV_cab_kernel::~QV_cab_kernel()
{
    if (library_module != nullptr)
        FreeLibrary(library_module);
}
