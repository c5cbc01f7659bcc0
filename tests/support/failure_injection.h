// Runs code with the private heap failing from the k-th allocation on, for k = 0 .. runLength,
// so that every allocation of a short run fails once. Only where the program's allocation
// operators go through the private heap (APCO_OPERATORS_REPLACED); elsewhere the test skips.
#pragma once

#include <gtest/gtest.h>

#include "foundation/private_heap.h"

// body(k) builds, uses and destroys the objects under test with allocation k failing; it must
// not use GoogleTest's assertions inside (they allocate): it returns false when the library
// claimed success with storage it cannot have had. Afterwards a run without failure must work.
template <typename Body>
void ForEachFailingAllocation(int runLength, Body body) {
#if defined(APCO_OPERATORS_REPLACED)
    for (int k = 0; k <= runLength; ++k) {
        PrivateHeapFailAfter(k);
        const bool sound = body(k);
        PrivateHeapFailAfter(-1);
        EXPECT_TRUE(sound) << "allocation " << k << " failed";
    }
#else
    (void)runLength;
    (void)body;
    GTEST_SKIP() << "the allocation operators are not the private heap's in this build";
#endif
}
