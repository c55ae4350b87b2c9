// The sample systems written by the first load of the main window.
#include "shell/sample_generator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/convert.h"
#include "mainwindow/commands.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::read_file;
using test::TestApp;

std::string sample_path(const TestApp& t, int k) { return t.dir.path() + "/data/sample" + std::to_string(k) + ".txt"; }

// Checks the text system file of order n: n lines of n + 1 numbers, each number followed by one
// blank, each line ended by CR LF, every value in [0, 1000].
void expect_sample(const std::string& bytes, int n) {
    int lines = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "line " << lines + 1 << " without CR LF";
        const std::string line = bytes.substr(pos, end - pos);
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), ' ');
        ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos);
        int numbers = 0;
        std::size_t p = 0;
        while (p < line.size()) {
            const std::size_t blank = line.find(' ', p);
            ASSERT_GT(blank, p) << "two blanks in a row";
            const float v = text_to_single(line.substr(p, blank - p));
            ASSERT_GE(v, 0.0f);
            ASSERT_LE(v, 1000.0f);
            ++numbers;
            p = blank + 1;
        }
        ASSERT_EQ(numbers, n + 1);
        ++lines;
        pos = end + 2;
    }
    EXPECT_EQ(lines, n);
}

TEST(SampleGenerator, FirstLoadWritesFourSystemsOfGrowingOrder) {
    TestApp t;
    Form_Load(t.app);
    EXPECT_TRUE(t.box.shown.empty());
    const int orders[4] = {4, 16, 64, 256};
    for (int k = 1; k <= 4; ++k) {
        SCOPED_TRACE(k);
        expect_sample(read_file(sample_path(t, k)), orders[k - 1]);
    }
    EXPECT_EQ(t.app.st.N, 256);
    EXPECT_EQ(t.app.st.DataMode, kModeEmpty);
}

TEST(SampleGenerator, EveryGenerationWritesTheSameNumbers) {
    TestApp first, second;
    Form_Load(first.app);
    std::filesystem::create_directory(second.dir.path() + "/data");
    generate_samples(second.app);
    generate_samples(second.app);  // a generation over existing files empties them first
    for (int k = 1; k <= 4; ++k) {
        const std::string a = read_file(sample_path(first, k));
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(read_file(sample_path(second, k)), a) << "sample" << k;
    }
    // Different files hold different numbers: the generator is not restarted per file.
    EXPECT_NE(read_file(sample_path(first, 1)).substr(0, 20), read_file(sample_path(first, 2)).substr(0, 20));
}

TEST(SampleGenerator, ExistingDataEntryMeansNoSamples) {
    {
        TestApp t;
        std::filesystem::create_directory(t.dir.path() + "/data");
        Form_Load(t.app);
        EXPECT_TRUE(std::filesystem::is_empty(t.dir.path() + "/data"));
        EXPECT_EQ(t.app.st.N, 0);
    }
    {
        TestApp t;
        t.dir.write("data", "not a folder");
        Form_Load(t.app);
        EXPECT_TRUE(std::filesystem::is_regular_file(t.dir.path() + "/data"));
        EXPECT_EQ(read_file(t.dir.path() + "/data"), "not a folder");
        EXPECT_FALSE(std::filesystem::exists(sample_path(t, 1)));
        EXPECT_TRUE(t.box.shown.empty());
        EXPECT_EQ(t.app.st.Eps, 0.5f);
    }
}

}  // namespace
}  // namespace varnex
