#include "trace/qv_trace.h"

namespace {
HMODULE g_module = nullptr;
}

void qv_set_module_handle(HMODULE module)
{
    g_module = module;
}

HMODULE qv_module_handle()
{
    return g_module;
}
