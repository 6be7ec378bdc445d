/* Stand-in for an installed module that this build does not make for real: a PE
   file that exists only for its version resource. It imports nothing, so the one
   entry point serves an executable (returning ends the process) and a library
   (returning nonzero accepts the load). */
int __stdcall qv_standin_entry(void* instance, unsigned long reason, void* reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return 1;
}
