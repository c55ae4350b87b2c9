// The delimited-text reader on its own: each reason it refuses a file for, with the line and field
// it names.
#include "files/delimited_text.h"

#include <gtest/gtest.h>

namespace varnex {
namespace {

// "LINE:COLUMN why" of the refusal of `bytes`; "accepted" when they are read.
std::string refusal(const std::string& bytes) {
    ImportedSystem sys;
    sys.owned = bytes;
    try {
        read_delimited("d.csv", sys);
    } catch (const ImportRefusal& r) {
        return std::to_string(r.line()) + ":" + std::to_string(r.column()) + " " + r.why();
    }
    return "accepted";
}

TEST(DelimitedText, EachRefusalNamesItsLineFieldAndReason) {
    std::string wide;  // order 16382: one more than the grid's layout can index
    for (int j = 0; j <= 16382; ++j) wide += "1,";
    // want: the start of "LINE:COLUMN why".
    for (const auto& [bytes, want] : std::vector<std::pair<std::string, std::string>>{
             {" \n\n", "0:0 the file holds no values"},
             {"1 2 3\n4 5 6\n", "1:0 no comma, semicolon or tab separates the values"},
             {"1,\"2,3\n4,5,6\n", "1:0 a quoted field is not closed"},
             {"1,\"2\" x,3\n4,5,6\n", "1:0 text after a closing quote"},
             {"x,y\n", "1:0 the file holds a header line and no values"},
             {"a,b,c\nx,y,z\n1,2,3\n4,5,6\n", "2:0 a second line of column names"},
             {"5,\n", "1:0 a row needs the coefficients and the right-hand side"},
             {wide, "1:0 order 16382 is more than the grid can hold (at most 16381)"},
             // A file far too short for the order of its first row is refused as its rows run out.
             {wide.substr(4), "2:0 the file ends after 1 rows"},
             {"1;2;3\n4;5\n", "2:0 the row holds 2 values, the first row 3"},
             {"1,,3\n4,5,6\n", "1:2 the value is empty"},
             {"1,2 5,3\n4,5,6\n", "1:2 the value holds a blank"},
             {"1,2,3\n4,abc,6\n", "2:2 \"abc\" is not a number"},
             {"nan,2,3\n4,5,6\n", "1:1 \"nan\" is not a number"},
             {"1\t2\t-inf\n4\t5\t6\n", "1:3 \"-inf\" is not a number"},
             {"x,y,b\n1,2,3\n4,2.5e400,6\n", "3:2 \"2.5e400\" is out of the single-precision range"},
             // A point is no decimal mark beside commas that separate; both are beside semicolons.
             {"1;2,5;3.5\n4;\"1,5,5\";6\n", "2:2 \"1,5,5\" is not a number"},
             {"1,2,3,4\n5,6,7,8\n", "3:0 the file ends after 2 rows"},
             {"1,2,3\n\n4,5,6\n", "2:0 an empty line between the rows"},
             {"1,2,3\n4,5,6\n7,8,9\n", "3:0 more rows than the 2"}}) {
        SCOPED_TRACE(bytes.substr(0, 40));
        EXPECT_EQ(want, refusal(bytes).substr(0, want.size()));
    }
}

}  // namespace
}  // namespace varnex
