// How a connected solve reads the row file, driven through the real handlers after a real Connect: the
// file is mapped when it fits in half the memory this process may use and streamed when it does not,
// and a streamed solve whose disk fails ends with MsgBadFile and the file closed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "core/async_file_io_testing.h"
#include "core/memory_budget_testing.h"
#include "core/row_access_testing.h"
#include "support/fakes.h"

namespace varnex {
namespace {

constexpr int kOrder = 40;
constexpr std::uint64_t kFileBytes = std::uint64_t{kOrder} * (kOrder + 1) * 128;

// Notes, at the sweep's first grid write, whether the open row file is streamed.
struct PathSeen final : GridObserver {
    const SystemState* st = nullptr;
    std::vector<bool> streamed;
    void grid_reset() override {}
    void cell_written(int, int) override {
        if (streamed.empty()) streamed.push_back(st->solve_row_file.streamed());
    }
};

ssize_t eio_read(int, void*, std::size_t, off_t) {
    errno = EIO;
    return -1;
}

class RowReading : public ::testing::Test {
  protected:
    test::TestApp t;
    App& app = t.app;
    SystemState& st = t.app.st;

    void connect() {
        std::string text;
        for (int i = 1; i <= kOrder; ++i) {
            for (int j = 1; j <= kOrder; ++j) text += i == j ? "50 " : "1 ";
            text += "89\r\n";
        }
        t.with_file(Connect_Click, t.dir.write("data/sys.txt", text));
        ASSERT_EQ(st.DataMode, kModeConnected);
    }
    void TearDown() override {
        set_usable_memory_for_tests(std::nullopt);
        set_positional_read(nullptr);
        set_async_reads(true);
        set_row_access(RowAccess::Automatic);
    }
};

TEST_F(RowReading, TheSolveMapsAFileWithinHalfTheMemoryAndStreamsALargerOne) {
    std::vector<float> x[2];
    for (bool larger : {false, true}) {
        connect();
        set_usable_memory_for_tests(2 * kFileBytes - (larger ? 1 : 0));
        PathSeen seen;
        seen.st = &st;
        app.grid.set_observer(&seen);
        cmdIter_Click(app);
        app.grid.set_observer(nullptr);
        EXPECT_EQ(seen.streamed, std::vector<bool>{larger});
        EXPECT_TRUE(t.box.shown.empty());
        x[larger] = st.X;
    }
    EXPECT_EQ(x[0], x[1]);
}

TEST_F(RowReading, AStreamedSolveOnAFailingDiskEndsWithMsgBadFile) {
    // The direct reads go one at a time here, so that every read meets the failing disk.
    set_row_access(RowAccess::Streamed);
    set_async_reads(false);
    set_positional_read(eio_read);
    for (void (*command)(App&) : {cmdSolution_Click, cmdIter_Click}) {
        connect();
        t.box.shown.clear();
        command(app);
        EXPECT_EQ(t.box.shown, std::vector<std::string>{st.msg.MsgBadFile});
        EXPECT_EQ(app.last_run.end, RunEnd::Message);
        EXPECT_EQ(app.last_run.sweeps, 0);
        EXPECT_FALSE(st.solve_row_file.is_open());
    }
}

}  // namespace
}  // namespace varnex
