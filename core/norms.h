#pragma once
// The infinity norms of a system and its approximation, and the pieces in which the double-precision
// factorization of A runs: shared by the accuracy report, the reference solution and the verdict.

namespace varnex {

/// The norms of one system and its approximation, all infinity norms, computed in double from the
/// single-precision values.
struct ResidualNorms {
    double residual = 0.0;  ///< ||A*x - b||, each component summed in double
    double norm_a = 0.0;    ///< ||A||, the largest row sum of |a(i,j)|
    double norm_x = 0.0;    ///< ||x||
    double norm_b = 0.0;    ///< ||b||

    /// ||r|| / (||A|| ||x|| + ||b||); 0 when both the residual and the denominator are 0.
    double backward_error() const;
};

/// The pieces of the factorization behind the condition estimate: columns factored by one dgetrf
/// call, and columns of the rest updated by one dgemm call. Each piece runs to its end once begun, so
/// their size bounds how long a cancel waits (about 50 ms at order 2000 on two cores).
struct ConditionBlocks {
    int panel = 512;
    int strip = 1024;
};

}  // namespace varnex
