#include "cab/qv_cab_kernel.h"

QV_cab_kernel::QV_cab_kernel() : library_module(LoadLibraryW(L"cabinet.dll")) {}

QV_cab_kernel::~QV_cab_kernel()
{
    if (library_module != nullptr)
        FreeLibrary(library_module);
}
