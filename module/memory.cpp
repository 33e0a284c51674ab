/*
 * The module's heap wrapper: plain malloc and free with a failure hook and a
 * count of live blocks for the tests. The module has no threads, so plain
 * counters suffice.
 */
#include "module/memory.h"
#include "module/test_hooks.h"

#include <cstdlib>

static int allocationsBeforeFailure = -1;
static long liveBlocks = 0;
static size_t largestRequest = 0;

void *moduleAlloc(size_t size) {
    if (size > largestRequest)
        largestRequest = size;
    if (allocationsBeforeFailure == 0) {
        allocationsBeforeFailure = -1;
        return nullptr;
    }
    if (allocationsBeforeFailure > 0)
        --allocationsBeforeFailure;
    void *block = std::malloc(size != 0 ? size : 1);
    if (block != nullptr)
        ++liveBlocks;
    return block;
}

void moduleFree(void *block) {
    if (block == nullptr)
        return;
    --liveBlocks;
    std::free(block);
}

void failAllocationAfter(int n) {
    allocationsBeforeFailure = n < 0 ? -1 : n;
}

size_t moduleLargestRequest() {
    size_t largest = largestRequest;
    largestRequest = 0;
    return largest;
}

bool allocationFailurePending() {
    return allocationsBeforeFailure >= 0;
}

long moduleLiveBlocks() {
    return liveBlocks;
}
