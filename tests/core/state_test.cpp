#include "core/state.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/errors.h"

namespace varnex {
namespace {

ErrorKind fault_of(void (*f)()) {
    try {
        f();
    } catch (const RunError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no run-time error raised";
    return ErrorKind::FileError;
}

TEST(SystemState, StartValuesAndMessageTexts) {
    SystemState st;
    EXPECT_EQ(st.N, 0);
    EXPECT_EQ(st.Er, 0.0f);
    EXPECT_EQ(st.DataMode, kModeEmpty);
    EXPECT_EQ(st.A.upper(), -1);
    EXPECT_TRUE(st.X.empty());

    st.msg.fill();
    EXPECT_EQ(st.msg.MsgBadNumber, " Sorry, not correct format of the entered number.");
    EXPECT_EQ(st.msg.MsgBadData, " Sorry, incorrect data or not all  data are available.");
    EXPECT_EQ(st.msg.MsgBadFile, " Sorry, not correct data in the file.");
    EXPECT_EQ(st.msg.MsgNoMemory, " Sorry, not enough memory. Please try the option-'Connect to' from the File Menu");
    EXPECT_EQ(st.msg.MsgNoFile, " Sorry, there is no the file.");
    EXPECT_EQ(st.msg.MsgReplaceFile, "Such file exists. Do you want to replace the old file?");
}

TEST(Dimensioning, ClearedOrKeptWithBoundsZeroToN) {
    // The matrix is column-contiguous and dimensioning clears it.
    SquareMatrix m;
    m.dim(3);
    EXPECT_EQ(m.upper(), 3);
    m(2, 1) = 5;
    m(1, 2) = 7;
    EXPECT_EQ(m.col(1)[2], 5.0f);
    EXPECT_EQ(m.col(2)[1], 7.0f);
    m.dim(2);
    for (int i = 0; i <= 2; ++i)
        for (int j = 0; j <= 2; ++j) EXPECT_EQ(m(i, j), 0.0f);

    std::vector<float> v;
    dim_cleared(v, 3);
    EXPECT_EQ(v, (std::vector<float>{0, 0, 0, 0}));
    v = {0, 1, 2, 3};
    dim_cleared(v, 3);
    EXPECT_EQ(v, (std::vector<float>{0, 0, 0, 0}));

    // Resizing keeps 1..min(old, new); new elements are 0; element 0 stays 0.
    v = {0, 1, 2, 3};
    dim_keep(v, 5);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2, 3, 0, 0}));
    dim_keep(v, 2);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2}));
    std::vector<float> fresh;
    dim_keep(fresh, 0);
    EXPECT_EQ(fresh, (std::vector<float>{0}));
}

TEST(Dimensioning, BadBoundsAndAbsurdSizesAreRunErrors) {
    EXPECT_EQ(fault_of([] { SquareMatrix().dim(-1); }), ErrorKind::Subscript);
    EXPECT_EQ(fault_of([] {
                  std::vector<float> v;
                  dim_cleared(v, -1);
              }),
              ErrorKind::Subscript);
    EXPECT_EQ(fault_of([] {
                  std::vector<float> v;
                  dim_keep(v, -2);
              }),
              ErrorKind::Subscript);
    // Far beyond this machine's memory (and, for INT_MAX, beyond any byte count): refused, not a crash.
    EXPECT_EQ(fault_of([] { SquareMatrix().dim(1 << 30); }), ErrorKind::OutOfMemory);
    EXPECT_EQ(fault_of([] { SquareMatrix().dim(INT_MAX); }), ErrorKind::OutOfMemory);
    EXPECT_EQ(fault_of([] { ensure_memory(SIZE_MAX); }), ErrorKind::OutOfMemory);
}

}  // namespace
}  // namespace varnex
