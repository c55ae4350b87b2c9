#pragma once
// The state of the current system: order, matrix, right-hand side, approximation, residual,
// accuracy, counters, storage mode and the message table. Every array has bounds 0..N; element 0
// exists and is never used.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/row_file.h"

namespace varnex {

/// MsgNoMemory's text, for a trap that must report memory before the table is filled.
inline constexpr const char* kMsgNoMemory =
    " Sorry, not enough memory. Please try the option-'Connect to' from the File Menu";

/// The six message texts, filled once by the main window's load handler.
struct Messages {
    std::string MsgBadNumber;
    std::string MsgBadData;
    std::string MsgBadFile;
    std::string MsgNoMemory;
    std::string MsgNoFile;
    std::string MsgReplaceFile;

    /// Assigns the texts in their fixed order (leading blanks and the double blank included).
    void fill();
};

/// A square array with bounds 0..n x 0..n, stored column by column: element (i, j) at j*(n+1) + i, so
/// that the n+1 equations of one unknown lie next to each other.
class SquareMatrix {
  public:
    /// Dimensions anew to 0..n x 0..n, all elements 0. Throws RunError(OutOfMemory) when the memory
    /// cannot be had and RunError(Subscript) for n < 0.
    void dim(int n);
    void release();

    float& operator()(int i, int j) { return v_[static_cast<std::size_t>(j) * stride_ + i]; }
    float operator()(int i, int j) const { return v_[static_cast<std::size_t>(j) * stride_ + i]; }
    float* col(int j) { return v_.data() + static_cast<std::size_t>(j) * stride_; }
    const float* col(int j) const { return v_.data() + static_cast<std::size_t>(j) * stride_; }
    float* data() { return v_.data(); }
    const float* data() const { return v_.data(); }
    /// Elements per column: n + 1.
    std::size_t stride() const { return stride_; }
    /// Upper bound n; -1 while not dimensioned.
    int upper() const { return static_cast<int>(stride_) - 1; }

  private:
    std::vector<float> v_;
    std::size_t stride_ = 0;
};

/// Dimensions a vector anew to 0..n, all elements 0 (throws as SquareMatrix::dim).
void dim_cleared(std::vector<float>& v, int n);
/// Resizes a vector to 0..n keeping elements 1..min(old, n); new elements are 0.
void dim_keep(std::vector<float>& v, int n);
/// Throws RunError(OutOfMemory) when `bytes` more cannot reasonably be had on this machine.
void ensure_memory(std::size_t bytes);

/// DataMode values. 0 stands for the empty value, which counts as neither mode.
inline constexpr int16_t kModeEmpty = 0;
inline constexpr int16_t kModeMemory = 1;
inline constexpr int16_t kModeConnected = 2;

/// The row file slot of a state. Copying a state copies the numbers, not the open file: a copy starts
/// with its slot closed, and assigning a state leaves the target's own file as it was.
class RowFileSlot : public RowFile {
  public:
    RowFileSlot() = default;
    RowFileSlot(const RowFileSlot&) : RowFile() {}
    RowFileSlot& operator=(const RowFileSlot&) { return *this; }
};

/// The one current system and the progress of its solution. Copyable, so that a caller or a test can
/// keep a snapshot of the numbers.
struct SystemState {
    int16_t N = 0;          ///< order: equations = unknowns
    float Eps = 0.0f;       ///< desired accuracy
    float Er = 0.0f;        ///< accuracy reached: max(0, R(1..N)) after the last sweep
    int16_t IterCount = 0;  ///< 1 = no sweep since the last reset; raised by 1 per sweep
    int16_t DataMode = kModeEmpty;

    SquareMatrix A;   ///< a(i,j): i the equation, j the unknown
    SquareMatrix Aw;  ///< working copy reduced by the elimination
    std::vector<float> B, Bw, X, R, D;

    Messages msg;

    /// The binary row file while a solve command reads it (file number 3).
    RowFileSlot solve_row_file;
};

}  // namespace varnex
