#pragma once
// Where the two layouts of the data grid keep the system. In both, row 0 is the header and row i
// (1..N) is equation i.
//
//   System layout of the order n (memory mode), 2n + 4 columns:
//     0 | a(i,1) *x(1)+ | .. | a(i,n) *x(n)= | b(i) | (spacer) | x(i)
//     column 2j - 1 holds a(i,j), 2j the operator text after it, 2n + 1 b(i), 2n + 3 x(i).
//   Solution layout of the order n (connected mode), 2 columns: "X(i)=" in column 0, x(i) in 1.
//
// The value columns of the system layout, 1, 3, .., 2n + 3, hold the row's values in the order
// a(i,1) .. a(i,n), b(i), x(i): value number v (from 1) lies in column 2v - 1.
//
// The functions compute in int. The layout's indices are 16-bit: a command that must fail on an
// order whose columns leave that range checks the result with int16_or_overflow.

#include <cstdint>

#include "core/exact.h"
#include "core/state.h"

namespace varnex {

/// The column of value number v of a system-layout row: a(i,v) for v <= n, then b(i), then x(i).
constexpr int value_column(int v) { return 2 * v - 1; }
/// The value number of an odd column of the system layout (the inverse of value_column).
constexpr int value_number(int col) { return (col + 1) >> 1; }

/// a(i,j) in the system layout.
constexpr int a_column(int j) { return value_column(j); }
/// The operator text after a(i,j): "*x(j)+", or "*x(n)=" after the last coefficient.
constexpr int operator_column(int j) { return 2 * j; }
/// b(i) in the system layout of the order n.
constexpr int b_column(int n) { return value_column(n + 1); }
/// The empty column between b(i) and x(i).
constexpr int spacer_column(int n) { return 2 * n + 2; }
/// The approximation x(i) in the system layout of the order n.
constexpr int x_column(int n) { return value_column(n + 2); }
/// The column count of the system layout of the order n.
constexpr int system_columns(int n) { return 2 * n + 4; }

/// The approximation x(i) in the solution layout, and that layout's column count.
inline constexpr int kSolutionXColumn = 1;
inline constexpr int kSolutionColumns = 2;

/// The column of x(i) in the layout of the storage mode: the solution layout's in connected mode,
/// the system layout's otherwise (a 16-bit index: raises the overflow error where it cannot be one).
inline int approximation_column(int16_t data_mode, int n) {
    return data_mode == kModeConnected ? kSolutionXColumn : int16_or_overflow(x_column(n));
}

}  // namespace varnex
