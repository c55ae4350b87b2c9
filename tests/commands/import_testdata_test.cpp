// The published test systems written by the test as Matrix Market and delimited text: each import
// gives the grid texts that Open of the text file gives, and "Find  solution" then writes the same
// solution file.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <sstream>

#include "commands/commands.h"
#include "commands/import_command.h"
#include "commands/open_command.h"
#include "commands/save_command.h"
#include "core/convert.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows tokens_of(const std::string& text) {
    Rows rows;
    std::istringstream in(text);
    std::string line, tok;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        rows.emplace_back();
        while (l >> tok) rows.back().push_back(tok);
        if (rows.back().empty()) rows.pop_back();
    }
    return rows;
}

const char* const kBanner = "%%MatrixMarket matrix ";

// The right-hand side column as an n x 1 array file.
std::string rhs_file(const Rows& a) {
    std::string s = std::string(kBanner) + "array real general\n" + std::to_string(a.size()) + " 1\n";
    for (const auto& row : a) s += row.back() + "\n";
    return s;
}

// Coordinate form listing every coefficient whose text is not "0" (all of them, or the lower half).
std::string coordinate_file(const Rows& a, bool lower) {
    const std::size_t n = a.size();
    std::string body;
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < (lower ? i + 1 : n); ++j)
            if (a[i][j] != "0")
                body += std::to_string(i + 1) + " " + std::to_string(j + 1) + " " + a[i][j] + "\n", ++count;
    return std::string(kBanner) + "coordinate real " + (lower ? "symmetric" : "general") + "\n% test system\n" +
           std::to_string(n) + " " + std::to_string(n) + " " + std::to_string(count) + "\n" + body;
}

std::string array_file(const Rows& a) {
    const std::size_t n = a.size();
    std::string s = std::string(kBanner) + "array real general\n" + std::to_string(n) + " " + std::to_string(n) + "\n";
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i) s += a[i][j] + "\n";
    return s;
}

// Comma-separated with a header line, or semicolon-separated with decimal commas, CR LF line ends.
std::string delimited_file(const Rows& a, char delim) {
    std::string s;
    for (std::size_t j = 1; j < a[0].size(); ++j) (s += 'a').append(std::to_string(j)) += delim;
    s += "b\r\n";
    for (const auto& row : a) {
        for (std::size_t j = 0; j < row.size(); ++j) {
            std::string v = row[j];
            if (delim == ';') std::replace(v.begin(), v.end(), '.', ',');
            s += (j ? std::string(1, delim) : std::string()) + v;
        }
        s += "\r\n";
    }
    return s;
}

bool symmetric(const Rows& a) {
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (a[i][j] != a[j][i]) return false;
    return true;
}

class ImportTestdata : public ::testing::Test {
  protected:
    // "Find  solution", then the solution file that Save writes for it.
    std::string solve() {
        cmdSolution_Click(t.app);
        const std::string path = t.dir.path() + "/x.txt";
        std::filesystem::remove(path);
        if (auto file = save_solution(t.app, path)) file->commit();
        return test::read_file(path);
    }
    test::TestApp t;
};

TEST_F(ImportTestdata, EveryFormImportsToTheTextsAndSolutionOfOpen) {
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "test matrices not present";
    Form_Load(t.app);
    std::size_t solved = 0;
    for (const char* name : {"bcsstk01", "bfwa62", "west0067", "fs_183_1", "impcol_a", "494_bus"}) {
        SCOPED_TRACE(name);
        const std::string text_path = dir + "/" + name + ".txt";
        const Rows a = tokens_of(test::read_file(text_path));
        t.with_file(Open_Click, text_path);
        const std::string opened = test::system_texts(t.app);
        const std::string solution = solve();
        ASSERT_EQ(static_cast<int>(a.size()), t.app.st.N);

        std::vector<std::pair<std::string, std::string>> forms{{"coo.mtx", coordinate_file(a, false)},
                                                               {"arr.mtx", array_file(a)},
                                                               {"comma.csv", delimited_file(a, ',')},
                                                               {"semi.csv", delimited_file(a, ';')}};
        if (symmetric(a)) forms.emplace_back("sym.mtx", coordinate_file(a, true));
        for (const auto& [file, bytes] : forms) {
            SCOPED_TRACE(file);
            const std::string path = t.dir.write("data/" + file, bytes);
            if (file.ends_with(".mtx")) t.dir.write("data/" + file.substr(0, file.size() - 4) + "_b.mtx", rhs_file(a));
            t.box.shown.clear();
            ASSERT_TRUE(import_system(t.app, path)) << t.box.shown.at(0);
            EXPECT_EQ(opened, test::system_texts(t.app));
            // The same texts solve alike: one form per system (a different one each time) is solved to
            // check that end to end, which keeps the ill-conditioned systems' long runs few.
            EXPECT_TRUE(&file != &forms[solved % forms.size()].first || solution == solve());
        }
        ++solved;
    }
    EXPECT_TRUE(symmetric(tokens_of(test::read_file(dir + "/bcsstk01.txt"))));  // the symmetric form ran
}

TEST_F(ImportTestdata, WithoutARightHandSideFileEveryBReadsBackToItsSinglePrecisionRowSum) {
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "test matrices not present";
    Form_Load(t.app);
    // 494_bus: with seven digits 212 of its 494 sums were written off by up to 4.2e-7.
    const Rows a = tokens_of(test::read_file(dir + "/494_bus.txt"));
    const std::size_t n = a.size();
    ASSERT_TRUE(import_system(t.app, t.dir.write("data/bus.mtx", coordinate_file(a, false))));
    std::size_t beyond_seven = 0;
    for (std::size_t i = 0; i < n; ++i) {
        float sum = 0.0f;
        for (std::size_t j = 0; j < n; ++j) sum += text_to_single(a[i][j]);
        const std::string b = t.app.grid.text(static_cast<int>(i + 1), static_cast<int>(2 * n + 1));
        EXPECT_EQ(std::bit_cast<uint32_t>(sum), std::bit_cast<uint32_t>(text_to_single(b))) << i + 1 << ": " << b;
        beyond_seven += text_to_single(single_to_text(sum)) != sum;
    }
    EXPECT_GT(beyond_seven, 100u);  // the sums that seven digits cannot carry are many here
}

}  // namespace
}  // namespace varnex
