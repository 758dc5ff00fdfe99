#include "GeometryDigest.h"

#include <gtest/gtest.h>

// Must equal the value the 32-bit Windows test program checks.
constexpr uint64_t kGeometryDigest = 17479921829819172708ull;

TEST(GeometryDigest, SameOnEveryBuild) {
    EXPECT_EQ(geometry_digest::Compute(), kGeometryDigest);
}
