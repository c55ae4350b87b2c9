// Full disks during Save, Connect, the samples and the agreement marker: no user file is damaged, each
// says what went wrong, and the program goes on. The disk is a small tmpfs where the tests may mount
// one (as root), and everywhere writes that fail through the file seam.

#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/sample_generator.h"
#include "commands/save_command.h"
#include "shell/agreement_window.h"
#include "support/fakes.h"
#include "support/full_disk.h"

namespace varnex {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using Texts = std::vector<std::string>;

const std::string kDiskFull = " Sorry, the file could not be saved: the disk is full.";

// The names in a folder, sorted (left-over temporary files show up here).
Texts entries(const std::string& folder) {
    Texts names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An order-n system in memory mode whose texts are long enough to fill a few blocks.
void lay_out(test::TestApp& t, int n, const std::string& tag) {
    t.app.st.N = static_cast<int16_t>(n);
    t.app.st.DataMode = kModeMemory;
    t.app.grid.fill_data(static_cast<int16_t>(n));
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n + 1; ++j) t.app.grid.set_text(i, 2 * j - 1, tag + std::to_string(i * 1000 + j));
        t.app.grid.set_text(i, 2 * n + 3, "0." + std::to_string(i));
    }
}

// The application folder lies one level down, so that the row file (beside it) is in the same place.
class FullDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        t.app.app_folder = t.dir.path() + "/disk/app";
        disk = std::make_unique<test::SmallDisk>(t.dir.path() + "/disk", 1 << 20);
        fs::create_directories(app("data/solutions"));
    }
    std::string app(const std::string& rel) { return t.app.app_folder + "/" + rel; }
    void save(const std::string& name) {
        t.cd.next.push_back(app("data/" + name));
        Save_Click(t.app);
    }
    // Runs `step` on a full disk: the tmpfs filled up but for `room` bytes when it is mounted, else
    // writes that fail after `budget` bytes.
    template <class Step>
    void on_full_disk(std::size_t budget, Step&& step, std::uintmax_t room = 0) {
        if (disk->mounted()) {
            const std::string filler = t.dir.path() + "/disk/filler";
            test::fill_disk(filler);
            fs::resize_file(filler, fs::file_size(filler) - room);
            step();
            fs::remove(filler);
        } else {
            test::FailingWrites failing(budget);
            step();
        }
    }

    test::TestApp t;
    std::unique_ptr<test::SmallDisk> disk;
};

// Every budget short of the whole of both files fails the Save; the earlier pair stays byte for byte,
// no temporary file is left, and the next Save with room writes both.
TEST_F(FullDisk, SaveKeepsTheEarlierSystemAndSolutionAndSaysTheDiskIsFull) {
    lay_out(t, 2, "");
    save("sys.txt");
    const std::string old_sys = read_file(app("data/sys.txt")), old_sol = read_file(app("data/solutions/sys.txt"));
    ASSERT_FALSE(old_sys.empty());
    lay_out(t, 30, "1.2345");
    save("probe.txt");  // the size of the new system file
    const std::size_t size = fs::file_size(app("data/probe.txt"));
    const Texts data = entries(app("data")), solutions = entries(app("data/solutions"));
    // Budgets that fail the system file, and budgets that let it through and fail the solution.
    for (std::size_t budget : {std::size_t{0}, std::size_t{1}, std::size_t{4096}, size, size + 20}) {
        SCOPED_TRACE(budget);
        t.box.shown.clear();
        on_full_disk(budget, [&] { save("sys.txt"); });
        const std::string& q = t.app.st.msg.MsgReplaceFile;
        Texts shown{q + app("data/sys.txt"), q + app("data/solutions/sys.txt"), kDiskFull};
        if (disk->mounted() || budget < size) shown.erase(shown.begin() + 1);
        EXPECT_EQ(t.box.shown, shown);
        EXPECT_EQ(read_file(app("data/sys.txt")), old_sys);
        EXPECT_EQ(read_file(app("data/solutions/sys.txt")), old_sol);
        EXPECT_EQ(entries(app("data")), data);
        EXPECT_EQ(entries(app("data/solutions")), solutions);
        if (disk->mounted()) break;  // the budgets stand for the seam only
    }
    t.box.shown.clear();
    save("sys.txt");
    EXPECT_EQ(t.box.shown.size(), 2u);  // the two replace questions
    EXPECT_EQ(read_file(app("data/solutions/sys.txt")).substr(0, 8), "0.1 0.2 ");
    EXPECT_EQ(read_file(app("data/sys.txt")).substr(0, 12), "1.23451001 1");
}

// The samples of a first start: the disk fills up during sample4.txt; nothing cut off stays and no
// data folder is left, so the next start (with room again) writes all four.
TEST_F(FullDisk, SamplesThatDoNotFitAreTakenAwaySoTheNextStartWritesThemAgain) {
    fs::remove_all(app("data"));
    test::TestApp clean;
    Form_Load(clean.app);
    const std::size_t first_three = fs::file_size(clean.dir.path() + "/data/sample1.txt") +
                                    fs::file_size(clean.dir.path() + "/data/sample2.txt") +
                                    fs::file_size(clean.dir.path() + "/data/sample3.txt");
    // A tmpfs keeps about 144 KB: the first three samples (about 37 KB) fit, sample4.txt (about 560 KB) not.
    on_full_disk(first_three + 1000, [&] { Form_Load(t.app); }, 144 << 10);
    EXPECT_EQ(t.box.shown, Texts{" Sorry, the sample systems could not be written: the disk is full."});
    EXPECT_FALSE(fs::exists(app("data")));
    EXPECT_EQ(t.app.st.Eps, 0.5f);  // the load goes on after the message
    t.box.shown.clear();
    Form_Load(t.app);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(entries(app("data")).size(), 4u);
}

// "I agree" on a full disk leaves no marker at all (an empty one would count as agreed) and says why.
// A marker that is not whole does not count.
TEST_F(FullDisk, TheMarkerIsWrittenWholeOrNotAtAllAndOnlyAWholeOneCounts) {
    const QString folder = QString::fromStdString(t.app.app_folder);
    std::string why;
    on_full_disk(3, [&] { why = write_agreement_marker(folder); });
    EXPECT_EQ(why, "the disk is full");
    EXPECT_FALSE(fs::exists(app("kvt.rss")));
    EXPECT_EQ(entries(t.app.app_folder), Texts{"data"});
    EXPECT_FALSE(agreement_marker_exists(folder));
    for (const char* cut : {"", "    ", "    \r", "    \r\n "}) {
        t.dir.write("disk/app/kvt.rss", cut);
        EXPECT_FALSE(agreement_marker_exists(folder)) << '"' << cut << '"';
    }
}

// Connect on a full disk: the row file cannot take the records. The user's text file and solution
// stay, and the conversion's message is shown.
TEST_F(FullDisk, ConnectReportsARowFileThatDoesNotFitAndLeavesTheUserFiles) {
    if (!disk->mounted()) GTEST_SKIP() << "no tmpfs may be mounted here; the row file has no write seam";
    std::string text;
    for (int i = 1; i <= 40; ++i) {
        for (int j = 1; j <= 41; ++j) text += (i == j ? "50 " : "1 ");
        text += "\r\n";
    }
    const std::string sys = t.dir.write("disk/app/data/big.txt", text);
    t.dir.write("disk/app/data/solutions/big.txt", "1 2 3\r\n");
    test::fill_disk(t.dir.path() + "/disk/filler");
    t.cd.next.push_back(sys);
    Connect_Click(t.app);
    EXPECT_EQ(t.box.shown, Texts{t.app.st.msg.MsgBadNumber});
    EXPECT_NE(t.app.st.DataMode, kModeConnected);
    EXPECT_EQ(read_file(sys), text);
    EXPECT_EQ(read_file(app("data/solutions/big.txt")), "1 2 3\r\n");
}

}  // namespace
}  // namespace varnex
