// Guards over the module's test interface: each sets a hook for its scope and
// restores it when the scope ends, so a failed assertion that leaves the test
// early cannot leave a forced kernel or a pending allocation failure behind
// for the next test.
#pragma once

#include "module/test_hooks.h"

namespace pendra::test {

// Runs the smoothing with the given kernel choice while it lives.
class ForcedSmoothKernel {
  public:
    explicit ForcedSmoothKernel(int choice) : previous_(chooseSmoothKernel(choice)) {}
    ~ForcedSmoothKernel() { chooseSmoothKernel(previous_); }
    ForcedSmoothKernel(const ForcedSmoothKernel &) = delete;
    ForcedSmoothKernel &operator=(const ForcedSmoothKernel &) = delete;

  private:
    int previous_;
};

// Makes the allocation after the next n fail while it lives; no failure is
// left pending after it.
class FailingAllocation {
  public:
    explicit FailingAllocation(int n) { failAllocationAfter(n); }
    ~FailingAllocation() { failAllocationAfter(-1); }
    FailingAllocation(const FailingAllocation &) = delete;
    FailingAllocation &operator=(const FailingAllocation &) = delete;
    // Whether the failure happened.
    bool happened() const { return !allocationFailurePending(); }
};

} // namespace pendra::test
