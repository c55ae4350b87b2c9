// The streams of a row file too large for memory when the disk fails under them: a read that answers
// EIO, or a file that another program cut short after it was opened. Each stream must stop with a file
// error where the data ends, handing out no value of the missing part and waiting for no read that
// will never come.

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "core/async_file_io.h"
#include "core/async_file_io_testing.h"
#include "core/errors.h"
#include "core/panel_stream.h"
#include "core/row_access_testing.h"
#include "core/row_file.h"
#include "core/row_file_writer.h"
#include "core/row_stream.h"
#include "support/fakes.h"

namespace varnex {
namespace {

constexpr int kOrder = 300;  // 11.6 MB of records: three chunks of the row stream, ten panels of 32
constexpr off_t kGoodBytes = 6 << 20;

// A disk whose blocks from kGoodBytes on cannot be read.
ssize_t failing_read(int fd, void* buf, std::size_t len, off_t off) {
    if (off + static_cast<off_t>(len) > kGoodBytes) {
        errno = EIO;
        return -1;
    }
    return ::pread(fd, buf, len, off);
}

// Reads the rows (or the columns) 1..kOrder; returns how many came whole before the stream stopped
// with a file error, -1 when it read them all, -2 when it stopped with another error.
int whole_before_file_error(const RowFile& f, bool panels) {
    int whole = 0;
    try {
        if (panels) {
            PanelStream cols(f, kOrder, 32);
            for (; whole < kOrder; ++whole) {
                cols.column(whole + 1);
                cols.release_through(whole + 1);
            }
        } else {
            RowStream rows(f, kOrder);
            for (; whole < kOrder; ++whole) rows.next();
        }
    } catch (const RunError& e) {
        return e.kind() == ErrorKind::FileError ? whole : -2;
    }
    return -1;
}

class StreamReadError : public ::testing::Test {
  protected:
    void TearDown() override {
        set_positional_read(nullptr);
        set_async_reads(true);
        set_row_access(RowAccess::Automatic);
    }
};

TEST_F(StreamReadError, BothStreamsStopWithAFileErrorWhenTheDiskFailsOrTheFileIsCut) {
    test::TempDir dir;
    const std::string path = dir.path() + "/rows.vnx";
    enum Failure { Eio, CutWithUring, CutOneReadAtATime };
    for (Failure failure : {Eio, CutWithUring, CutOneReadAtATime}) {
        for (bool panels : {false, true}) {
            SCOPED_TRACE(std::to_string(failure) + (panels ? " panels" : " rows"));
            {
                RowWriter w;
                w.open(path);
                for (std::int64_t r = 1; r <= std::int64_t{kOrder} * (kOrder + 1); ++r) w.put(r, 1.0f);
                w.close();
            }
            set_row_access(RowAccess::Streamed);
            set_async_reads(failure == CutWithUring);
            set_positional_read(nullptr);
            RowFile f;
            f.open(path);
            if (failure == Eio) {
                set_positional_read(failing_read);
            } else {
                ASSERT_EQ(::truncate(path.c_str(), kGoodBytes), 0);
            }
            // Rows end at the cut; the columns' first panel needs a run from every row, so none is whole.
            const int whole = whole_before_file_error(f, panels);
            EXPECT_GE(whole, 0);
            EXPECT_LE(whole, panels ? 0 : kGoodBytes / ((kOrder + 1) * kRecordLength));
        }
    }
}

// A signal that arrives while the reader waits for its last reads must not end that wait: the kernel
// would go on writing into buffers already given back. The read comes from a pipe, so it stays in
// flight until the test writes into the pipe, after a series of signals.
TEST(AsyncFileIoEnd, WaitsForReadsInFlightThroughSignals) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    struct sigaction quiet {}, old {};
    quiet.sa_handler = [](int) {};  // no SA_RESTART: a wait in the kernel returns EINTR
    ASSERT_EQ(::sigaction(SIGUSR1, &quiet, &old), 0);
    char buf[8] = {};
    std::atomic<bool> ended{false};
    std::thread poker;
    {
        AsyncFileIo io(fds[0], false, 4);
        io.submit(buf, 1, 0, 7);
        std::uint64_t tag;
        long res;
        if (io.reap(false, tag, res)) {
            ::sigaction(SIGUSR1, &old, nullptr);
            GTEST_SKIP() << "no io_uring: reads are done at submission";
        }
        poker = std::thread([&, self = ::pthread_self()] {
            for (int k = 0; k < 20 && !ended.load(); ++k) {
                ::pthread_kill(self, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_EQ(::write(fds[1], "x", 1), 1);  // only now can the read finish
        });
    }
    ended.store(true);
    poker.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    EXPECT_EQ(buf[0], 'x');
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace
}  // namespace varnex
