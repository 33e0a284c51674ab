/*
 * The module's heap: every image and working buffer of the loader and the
 * start-time preparation goes through here, so that tests can make any one
 * allocation fail and can check that a run leaves no block behind.
 */
#ifndef PENDRA_MODULE_MEMORY_H
#define PENDRA_MODULE_MEMORY_H

#include <cstddef>

/* malloc, unless the test hook says this allocation fails; null on failure. */
void *moduleAlloc(size_t size);

/* free; null is ignored. */
void moduleFree(void *block);

/* Test hook: after n more allocations succeed, the next one fails (once).
 * A negative n means no allocation fails. */
void failAllocationAfter(int n);

/* Test hook: whether the failure set by failAllocationAfter has yet to happen. */
bool allocationFailurePending();

/* Test hook: the largest size asked for since the last call (which starts
 * the count again). */
size_t moduleLargestRequest();

/* Test hook: blocks taken by moduleAlloc and not yet given back. */
long moduleLiveBlocks();

#endif
