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

#include "core/async_file_io_testing.h"
#include "steps.h"

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

class RowReading : public test::ConnectFixture {
  protected:
    void connect() {
        std::string text;
        for (int i = 1; i <= kOrder; ++i) {
            for (int j = 1; j <= kOrder; ++j) text += i == j ? "50 " : "1 ";
            text += "89\r\n";
        }
        ASSERT_EQ(ConnectFixture::connect(text), std::vector<std::string>{});
    }
    void TearDown() override {
        set_positional_read(nullptr);
        set_async_reads(true);
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
        EXPECT_EQ(t.messages_of(command), std::vector<std::string>{st.msg.MsgBadFile});
        EXPECT_EQ(app.last_run.end, RunEnd::Message);
        EXPECT_EQ(app.last_run.sweeps, 0);
        EXPECT_FALSE(st.solve_row_file.is_open());
    }
}

}  // namespace
}  // namespace varnex
