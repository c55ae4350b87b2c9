// The commands when things go wrong around the program: a row file cut short while a solve reads it,
// a row file another program holds, links where the program's files lie, memory that is not there,
// a line that never ends, and the temporary files of a Save that was killed.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "commands/accuracy_report.h"
#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/open_command.h"
#include "commands/row_file_lock.h"
#include "commands/save_command.h"
#include "files/text_io.h"
#include "steps.h"
#include "support/file_lines_probe.h"

namespace varnex {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

// A diagonally dominant system of order n as text: 4n on the diagonal, 1 elsewhere, b = row sum.
std::string system_text(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) text += (i == j ? std::to_string(4 * n) : "1") + " ";
        text += std::to_string(5 * n - 1) + "\r\n";
    }
    return text;
}

class RobustCommands : public test::ConnectFixture {
  protected:
    void TearDown() override { unlock_row_file(); }
};

// Cuts the row file at the k-th x written by a sweep, as another program truncating it would.
struct CutAt final : GridObserver {
    std::string path;
    int at = 5, writes = 0;
    bool remove = false;
    void grid_reset() override {}
    void cell_written(int, int) override {
        if (++writes != at) return;
        ASSERT_EQ(::truncate(path.c_str(), remove ? 0 : 4096), 0);
        if (remove) fs::remove(path);
    }
};

TEST_F(RobustCommands, ARowFileCutDuringASolveEndsItWithMsgBadFileOnEveryReadingPath) {
    // Order 120: a row file of 454 pages, read page by page in every column of a sweep; the mapped
    // reads beyond the cut would raise SIGBUS.
    for (RowAccess access : {RowAccess::Mapped, RowAccess::Streamed}) {
        for (bool remove : {false, true}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(access)) + (remove ? " removed" : " cut"));
            connect(system_text(120));
            ASSERT_EQ(st.DataMode, kModeConnected);
            set_row_access(access);
            CutAt cut;
            cut.path = rows;
            cut.remove = remove;
            app.grid.set_observer(&cut);
            EXPECT_EQ(t.messages_of(cmdSolution_Click), V{st.msg.MsgBadFile});
            app.grid.set_observer(nullptr);
            EXPECT_EQ(app.last_run.end, RunEnd::Message);
            EXPECT_EQ(app.last_run.sweeps, 0);
            EXPECT_FALSE(st.solve_row_file.is_open());
        }
    }
}

TEST_F(RobustCommands, ALinkAtTheRowFilesPathIsNeitherWrittenNorRead) {
    const std::string victim = t.dir.write("victim", "precious records");
    fs::create_symlink(victim, rows);
    EXPECT_EQ(connect(system_text(3)), V{st.msg.MsgBadFile});
    EXPECT_EQ(test::read_file(victim), "precious records");
    EXPECT_EQ(t.ui.notes, V{rows + " is a link; the row file must be a file of its own, so it is not followed."});
    EXPECT_NE(st.DataMode, kModeConnected);
    // A link planted after Connect: the solve refuses it too and reads nothing through it.
    fs::remove(rows);
    ASSERT_EQ(connect(system_text(3)), V{});
    fs::remove(rows);
    fs::create_symlink(victim, rows);
    EXPECT_EQ(t.messages_of(cmdIter_Click), V{st.msg.MsgBadFile});
}

TEST_F(RobustCommands, SaveReplacesThroughALinkAndSaysWhichFile) {
    t.with_file(Open_Click, t.dir.write("data/sys.txt", "2 1 3\r\n1 3 5\r\n"));
    const std::string target = t.dir.write("elsewhere.txt", "old");
    const std::string link = t.dir.path() + "/data/linked.txt";
    fs::create_symlink(target, link);
    EXPECT_EQ(t.with_file(Save_Click, link), V{st.msg.MsgReplaceFile + link});
    EXPECT_EQ(t.ui.notes,
              V{link + " is a link to " + fs::canonical(target).string() + ", the file that will be replaced."});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::read_file(target), "2 1 3 \r\n1 3 5 \r\n");
}

// Another program's hold on the row file is a lock on an opening of its own: the kernel keeps such
// locks apart even within one process, and drops one when its holder's descriptor closes, as it does
// when the holder dies.
TEST_F(RobustCommands, TheRowFileIsOneProgramsAtATime) {
    connect(system_text(2));
    ASSERT_EQ(st.DataMode, kModeConnected);
    const std::string records = test::read_file(rows);
    // While this program is connected nobody else gets the lock; Accept N lets it go.
    const int other = ::open(rows.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
    t.ui.texts[Ctl::txtN] = "2";
    cmdN_Click(app);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    // Another program holds it now: Connect says so and writes nothing.
    EXPECT_EQ(connect(system_text(3)), V{row_file_busy(rows)});
    EXPECT_EQ(test::read_file(rows), records);
    EXPECT_NE(st.DataMode, kModeConnected);
    ::close(other);
    EXPECT_EQ(connect(system_text(3)), V{});
    EXPECT_EQ(st.N, 3);
}

TEST_F(RobustCommands, MemoryIsCheckedWhereAFailedAllocationWouldSayMsgNoMemory) {
    // Room for one megabyte beyond the reserve: an order-600 system does not fit.
    const std::string path = t.dir.write("data/big.txt", system_text(600));
    set_usable_memory_for_tests(9u << 20);
    EXPECT_EQ(t.with_file(Open_Click, path), V{st.msg.MsgNoMemory});
    EXPECT_EQ(st.N, 0);  // the grid was never laid out
    // Accept N lays an implicit layout; "Find  solution" then needs A and Aw and stops at trap 2.
    t.ui.texts[Ctl::txtN] = "600";
    cmdN_Click(app);
    EXPECT_EQ(t.messages_of(cmdSolution_Click), V{st.msg.MsgNoMemory});
    EXPECT_EQ(st.IterCount, 1);

    // With memory to spare the same system opens and solves; the report's double copy that no longer
    // fits is skipped with the reason.
    set_usable_memory_for_tests(std::nullopt);
    EXPECT_EQ(t.with_file(Open_Click, path), V{});
    EXPECT_EQ(t.messages_of(cmdSolution_Click), V{});
    set_usable_memory_for_tests(9u << 20);
    const AccuracyReport r = accuracy_report(app);
    EXPECT_FALSE(r.conditioned);
    EXPECT_THAT(r.note, testing::HasSubstr(error_name(ErrorKind::OutOfMemory)));
}

TEST_F(RobustCommands, ALineWithoutEndIsRefusedBeforeItFillsMemory) {
    // 100 MB without a line end (a sparse file: no disk needed).
    const std::string path = t.dir.write("data/endless.txt", "1");
    fs::resize_file(path, 100u << 20);
    EXPECT_EQ(t.with_file(Open_Click, path), V{st.msg.MsgBadFile});
    EXPECT_EQ(st.N, 0);
    EXPECT_EQ(t.with_file(Connect_Click, path), V{st.msg.MsgBadFile});
    EXPECT_NE(st.DataMode, kModeConnected);
    // The reader's buffer stopped at the longest line an order may have.
    InputFile in(path);
    FileLines lines(in);
    lines.limit_line(longest_valid_line(0));
    EXPECT_THROW(lines.next(), LineTooLong);
    EXPECT_LE(FileLinesProbe::buffer_size(lines), 2 * longest_valid_line(0));
}

TEST_F(RobustCommands, AStartRemovesTheTemporaryFilesOfSavesWhoseProcessIsGone) {
    const pid_t gone = ::fork();
    if (gone == 0) _exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = ".sys.txt.~" + std::to_string(gone) + "-0";
    const std::string alive = ".sys.txt.~" + std::to_string(::getppid()) + "-3";
    for (const std::string folder : {"data/", "data/solutions/"})
        for (const std::string& name : {dead, alive, std::string(".notes.~x-1"), std::string("kept.txt")})
            t.dir.write(folder + name, "x");
    Form_Load(app);
    for (const std::string folder : {"/data/", "/data/solutions/"}) {
        EXPECT_FALSE(fs::exists(t.dir.path() + folder + dead)) << folder;
        for (const std::string& name : {alive, std::string(".notes.~x-1"), std::string("kept.txt")})
            EXPECT_TRUE(fs::exists(t.dir.path() + folder + name)) << folder << name;
    }
}

}  // namespace
}  // namespace varnex
