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

/* The failure hook and the counters are the test interface's (module/test_hooks.h). */

#endif
