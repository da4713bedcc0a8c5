#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

/* True under CI=true, where a test that cannot run must fail: CI must not go green by
 * skipping. */
inline bool CiForbidsSkipping()
{
    const char* ci = getenv("CI");
    return ci != nullptr && strcmp(ci, "true") == 0;
}

/* Skips the running test for `why`, or fails it under CI (see CiForbidsSkipping). */
#define SKIP_OR_FAIL(why)                                                                          \
    do {                                                                                           \
        if (CiForbidsSkipping())                                                                   \
            FAIL() << (why);                                                                       \
        GTEST_SKIP() << (why);                                                                     \
    } while (0)
