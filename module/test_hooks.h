/*
 * The module's test interface: the few things tests and benchmarks may
 * change or read inside the module, and nothing else. The hosts never call
 * these; a test that changes one restores it (tests/support/module_hooks.h
 * does so with guard objects, also when an assertion ends the test early).
 */
#ifndef PENDRA_MODULE_TEST_HOOKS_H
#define PENDRA_MODULE_TEST_HOOKS_H

#include <cstddef>

/* Which smoothing row kernel runs. */
enum SmoothKernelChoice {
    SMOOTH_KERNEL_AUTO = -1, /* the fastest the processor supports */
    SMOOTH_KERNEL_SSE2 = 0,  /* SSE2 even where AVX2 is there */
};

/* Sets the kernel choice; returns the one it replaces. */
int chooseSmoothKernel(int choice);

/* After n more allocations succeed, the next one fails (once). A negative n
 * means no allocation fails. */
void failAllocationAfter(int n);

/* Whether the failure set by failAllocationAfter has yet to happen. */
bool allocationFailurePending();

/* The largest size asked for since the last call (which starts the count again). */
size_t moduleLargestRequest();

/* Blocks taken by moduleAlloc and not yet given back. */
long moduleLiveBlocks();

#endif
