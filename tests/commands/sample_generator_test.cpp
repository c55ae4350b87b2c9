// The sample systems written by the first load of the main window.
#include "commands/sample_generator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "commands/commands.h"
#include "core/convert.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::read_file;
using test::TestApp;

std::string sample(const TestApp& t, int k) {
    return read_file(t.dir.path() + "/data/sample" + std::to_string(k) + ".txt");
}

// Checks a text system file of order n: n lines of n + 1 numbers in [0, 1000], each number followed
// by one blank, each line ended by CR LF.
void expect_sample(const std::string& bytes, int n) {
    int lines = 0;
    for (std::size_t at = 0, end; at < bytes.size(); at = end + 3, ++lines) {
        ASSERT_NE(end = bytes.find(" \r\n", at), std::string::npos);
        std::istringstream tokens(bytes.substr(at, end + 1 - at));
        int numbers = 0;
        for (std::string token; std::getline(tokens, token, ' '); ++numbers)
            ASSERT_TRUE(text_to_single(token) >= 0.0f && text_to_single(token) <= 1000.0f) << token;
        ASSERT_EQ(numbers, n + 1);
    }
    EXPECT_EQ(lines, n);
}

TEST(SampleGenerator, FirstLoadWritesFourSystemsWithTheSameNumbersEveryTime) {
    TestApp first, second;
    Form_Load(first.app);
    EXPECT_EQ(first.app.st.DataMode, kModeEmpty);  // the samples are files only, not a loaded system
    std::filesystem::create_directory(second.dir.path() + "/data");
    generate_samples(second.app);
    generate_samples(second.app);  // a generation over existing files empties them first
    const int orders[4] = {4, 16, 64, 256};
    for (int k = 1; k <= 4; ++k) {
        SCOPED_TRACE(k);
        expect_sample(sample(first, k), orders[k - 1]);
        EXPECT_EQ(sample(second, k), sample(first, k));
    }
    // The generator runs on from file to file rather than restarting.
    EXPECT_NE(sample(first, 1).substr(0, 20), sample(first, 2).substr(0, 20));
}

TEST(SampleGenerator, AnExistingDataFolderOrFileMeansNoSamples) {
    for (bool folder : {true, false}) {
        TestApp t;
        const std::string data = t.dir.path() + "/data";
        folder ? (void)std::filesystem::create_directory(data) : (void)t.dir.write("data", "not a folder");
        Form_Load(t.app);
        EXPECT_TRUE(folder ? std::filesystem::is_empty(data) : read_file(data) == "not a folder");
        EXPECT_TRUE(t.box.shown.empty());
    }
}

}  // namespace
}  // namespace varnex
