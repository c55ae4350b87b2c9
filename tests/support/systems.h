#pragma once
// Systems for the numeric tests, in memory as the solve commands dimension them and as a row file,
// and the outcome of a run compared bit for bit.

#include <bit>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/grid_model.h"
#include "core/row_file_writer.h"
#include "core/state.h"

namespace varnex::test {

/// The kind of run-time error that f() raises, or none.
template <class F>
std::optional<ErrorKind> error_of(F&& f) {
    try {
        f();
    } catch (const RunError& e) {
        return e.kind();
    }
    return std::nullopt;
}

/// A memory-mode system of order n: fill(i, j) gives a(i, j), and b(i) as j = n + 1, called in the
/// order of the row file's records; X, R and D are 0.
template <class F>
SystemState memory_system(int n, F&& fill) {
    SystemState s;
    s.N = static_cast<int16_t>(n);
    s.DataMode = kModeMemory;
    s.A.dim(n);
    for (auto* v : {&s.B, &s.X, &s.R, &s.D}) dim_cleared(*v, n);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) s.A(i, j) = fill(i, j);
        s.B[i] = fill(i, n + 1);
    }
    return s;
}

/// Writes the row file of order n at path, record (n+1)(i-1)+j holding fill(i, j) (b(i) as j = n+1),
/// in record order, and returns the path. The file ends right after the value bytes of its last
/// record, as a reader must accept.
template <class F>
std::string write_row_file(const std::string& path, int n, F&& fill) {
    RowWriter w;
    w.open(path);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n + 1; ++j) w.put(std::int64_t(n + 1) * (i - 1) + j, fill(i, j));
    w.close();
    std::filesystem::resize_file(path, std::uint64_t(128) * n * (n + 1) - 124);
    return path;
}

/// A connected state over the row file at path, from X = x (1-based, its order x.size() - 1) with R and
/// D cleared, the grid showing X.
inline void connect_rows(SystemState& s, GridModel& grid, const std::string& path, const std::vector<float>& x) {
    s.N = static_cast<int16_t>(x.size() - 1);
    s.DataMode = kModeConnected;
    s.X = x;
    for (auto* v : {&s.R, &s.D}) dim_cleared(*v, s.N);
    s.solve_row_file.open(path);
    grid.fill_x(s.N, x);
}

/// The bits of the floats, to compare bit for bit.
inline std::vector<std::uint32_t> bits(const std::vector<float>& v) {
    std::vector<std::uint32_t> out;
    for (float x : v) out.push_back(std::bit_cast<std::uint32_t>(x));
    return out;
}

/// The bits of X, R, D and Er, in that order.
inline std::vector<std::uint32_t> state_bits(const SystemState& s) {
    std::vector<float> v = s.X;
    for (const auto* p : {&s.R, &s.D}) v.insert(v.end(), p->begin(), p->end());
    v.push_back(s.Er);
    return bits(v);
}

}  // namespace varnex::test
