// The streams of a row file too large for memory when the disk fails under them: a read that answers
// EIO, or a file that another program cut short after it was opened. Each stream must stop with a file
// error where the data ends, handing out no value of the missing part and waiting for no read that
// will never come.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

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

// Reads every row (or every column) of the system; returns how many came whole before a RunError,
// whose kind goes to `kind`, or kOrder + 1 when none was raised.
template <class Stream, class Next>
int read_until_error(Stream& s, Next&& next, ErrorKind& kind) {
    int got = 0;
    try {
        for (int k = 1; k <= kOrder; ++k, ++got) next(s, k);
    } catch (const RunError& e) {
        kind = e.kind();
        return got;
    }
    return kOrder + 1;
}

TEST(StreamReadError, BothStreamsStopWithAFileErrorWhenTheDiskFailsOrTheFileIsCut) {
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
            RowFile f;
            f.open(path);
            if (failure == Eio) {
                set_positional_read(failing_read);
            } else {
                ASSERT_EQ(::truncate(path.c_str(), kGoodBytes), 0);
            }

            ErrorKind kind = ErrorKind::Overflow;
            int whole = 0;
            if (panels) {
                PanelStream cols(f, kOrder, 32);
                whole = read_until_error(
                    cols,
                    [](PanelStream& s, int c) {
                        s.column(c);
                        s.release_through(c);
                    },
                    kind);
            } else {
                RowStream rows(f, kOrder);
                whole = read_until_error(
                    rows, [](RowStream& s, int) { s.next(); }, kind);
            }
            set_positional_read(nullptr);
            set_async_reads(true);
            set_row_access(RowAccess::Automatic);
            // Rows end at the cut; the columns' first panel needs a run from every row, so none is whole.
            EXPECT_LE(whole, panels ? 0 : kGoodBytes / ((kOrder + 1) * kRecordLength));
            EXPECT_EQ(kind, ErrorKind::FileError);
        }
    }
}

}  // namespace
}  // namespace varnex
