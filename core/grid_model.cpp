// Provisional grid model storing every cell in a map; being replaced by the compact one.
#include "core/grid_model.h"

#include <map>

#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"

namespace varnex {

struct GridModel::Impl {
    std::map<std::pair<int, int>, std::string> cells;
};

GridModel::GridModel() : impl_(std::make_unique<Impl>()) {}
GridModel::~GridModel() = default;

void GridModel::clear() {
    impl_->cells.clear();
    if (observer_) observer_->grid_reset();
}

void GridModel::set_rows(int rows) {
    if (rows < 1) raise(ErrorKind::Subscript);
    rows_ = rows;
    std::erase_if(impl_->cells, [&](const auto& kv) { return kv.first.first >= rows; });
    if (observer_) observer_->grid_reset();
}

void GridModel::set_cols(int cols) {
    if (cols < 1) raise(ErrorKind::Subscript);
    cols_ = cols;
    std::erase_if(impl_->cells, [&](const auto& kv) { return kv.first.second >= cols; });
    if (observer_) observer_->grid_reset();
}

std::string_view GridModel::text(int row, int col, std::string& scratch) const {
    if (row < 0 || col < 0 || row >= rows_ || col >= cols_) raise(ErrorKind::Subscript);
    auto it = impl_->cells.find({row, col});
    if (it == impl_->cells.end()) return {};
    scratch = it->second;
    return scratch;
}

std::string GridModel::text(int row, int col) const {
    std::string s;
    return std::string(text(row, col, s));
}

void GridModel::set_text(int row, int col, std::string_view t) {
    if (row < 0 || col < 0 || row >= rows_ || col >= cols_) raise(ErrorKind::Subscript);
    impl_->cells[{row, col}] = std::string(t);
    if (observer_) observer_->cell_written(row, col);
}

void GridModel::fill_data(int16_t n) {
    clear();
    set_rows(i16(n + 1));
    set_cols(i16(2 * n + 4));
    set_text(0, i16(2 * n + 3), "Solution");
    set_text(0, 0, "System");
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            set_text(i, i16(2 * j - 1), "a(" + std::to_string(i) + "," + std::to_string(j) + ")");
            set_text(i, i16(2 * j), "*x(" + std::to_string(j) + (j < n ? ")+" : ")="));
        }
        set_text(i, i16(2 * n + 1), "b(" + std::to_string(i) + ")");
        set_text(i, i16(2 * n + 3), "0");
    }
}

void GridModel::fill_x(int16_t n, const std::vector<float>& x) {
    set_rows(i16(n + 1));
    set_cols(2);
    set_text(0, 0, "Solution");
    for (int i = 1; i <= n; ++i) {
        set_text(i, 0, "X(" + std::to_string(i) + ")=");
        set_text(i, 1, single_to_text(x.at(i)));
    }
}

std::size_t GridModel::memory_bytes() const { return impl_->cells.size() * 64; }

}  // namespace varnex
