#include "core/state.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/errors.h"

namespace varnex {
namespace {

TEST(Dimensioning, ColumnContiguousClearedOrKept) {
    // A(i,j) lives at col(j)[i]; dimensioning anew clears every element.
    SquareMatrix m;
    m.dim(3);
    m(2, 1) = 5;
    EXPECT_EQ(m.col(1)[2], 5.0f);
    m.dim(2);
    EXPECT_EQ(m(2, 1), 0.0f);

    // Resizing with dim_keep keeps 1..min(old, new) and fills new elements with 0.
    std::vector<float> v{0, 1, 2, 3};
    dim_keep(v, 5);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2, 3, 0, 0}));
    dim_keep(v, 2);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2}));
}

TEST(Dimensioning, AbsurdSizesAreOutOfMemoryNotACrash) {
    // Far beyond this machine's memory and, for INT_MAX, beyond any byte count.
    for (int n : {1 << 30, INT_MAX}) {
        try {
            SquareMatrix().dim(n);
            ADD_FAILURE() << "no error for N = " << n;
        } catch (const RunError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::OutOfMemory) << n;
        }
    }
}

}  // namespace
}  // namespace varnex
