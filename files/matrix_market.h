#pragma once
// Matrix Market files (the exchange format of the SuiteSparse and NIST collections): the banner
// "%%MatrixMarket matrix <coordinate|array> <real|integer|pattern> <general|symmetric|skew-symmetric>",
// comment lines starting with %, a size line, then the entries.

#include <string>

#include "files/imported_system.h"

namespace varnex {

/// Reads the square matrix of a Matrix Market file whose bytes are sys.text into sys: n, and the
/// dense form for an array file or the sorted sparse form for a coordinate file, with the mirrored
/// half of a symmetric or skew-symmetric one filled in. When `values` is set every coefficient is
/// also parsed as a number (for b = A*1). `file` names the file in refusals. Raises ImportRefusal for
/// complex and Hermitian matrices, non-square sizes, orders beyond kMaxImportOrder, entries that
/// contradict the size line, duplicate entries and malformed lines.
void read_matrix_market(const std::string& file, ImportedSystem& sys, bool values);

/// Reads the right-hand side of sys from a Matrix Market file whose bytes are sys.b_text: an n x 1
/// array, or an n x 1 coordinate matrix whose absent entries are "0". Raises ImportRefusal as above,
/// and when its size is not n x 1.
void read_matrix_market_rhs(const std::string& file, ImportedSystem& sys);

}  // namespace varnex
