#pragma once
// Delimited text as spreadsheets write it (.csv, .tsv, .txt): one equation per line, a(i,1) .. a(i,N)
// b(i), the values separated by commas, semicolons or tabs.

#include <string>

#include "files/imported_system.h"

namespace varnex {

/// Reads the system held in sys.text into sys's dense form and its b. A UTF-8 byte-order mark is
/// dropped; lines end in LF, CR LF or a lone CR. The delimiter is found on the first non-empty line
/// (outside quotes: a tab, else a semicolon, else a comma); a first line none of whose fields is a
/// number is a header and skipped (a second such line is refused); a quoted field loses its quotes
/// ("" stands for one "); with a semicolon or a tab as delimiter a decimal comma is read as well as
/// a point; blanks around a field and empty fields at the end of a line are dropped; empty lines at
/// the end are ignored. The order N is the number of fields of the first row minus 1 and there must
/// be N rows of N + 1 fields. Every value is read by the program's text-to-number conversion and its
/// decimal mark rewritten in place in sys.text to the user's separator. Raises ImportRefusal naming
/// the line for a file without delimiter, rows of the wrong length or number, unclosed quotes and
/// orders beyond kMaxImportOrder, and the line and column for a field that is empty, holds a
/// blank or is not a single-precision number.
void read_delimited(const std::string& file, ImportedSystem& sys);

}  // namespace varnex
