// Tests that need a real component (Slurm's daemons, a privileged port)
// start it themselves. Under CI, and as root, it can always be started, so
// one that will not start is a fault the test reports; only a developer's
// machine without root may skip such a test.
#pragma once

#include <cstdlib>
#include <unistd.h>

namespace pendra::test {

inline bool mayGoWithoutComponent() {
    return std::getenv("CI") == nullptr && geteuid() != 0;
}

} // namespace pendra::test

// Ends the test when `problem` (what kept the component from starting) is
// not empty: a failure, or a skip where the rule above allows one.
#define REQUIRE_COMPONENT(problem)                                                                 \
    do {                                                                                           \
        if (!(problem).empty()) {                                                                  \
            if (!::pendra::test::mayGoWithoutComponent())                                          \
                FAIL() << (problem);                                                               \
            GTEST_SKIP() << (problem);                                                             \
        }                                                                                          \
    } while (0)
