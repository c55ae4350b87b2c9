// The connected solve over a tampered row file: records of any value (infinities, NaN, denormals), a
// file cut short anywhere or longer than the system, meaningless bytes between the values, and a file
// cut short by another program while a sweep reads it. "Next Iteration" is clicked a few times with
// the file mapped, streamed directly and streamed through the page cache; every way must leave the
// same bits in X, R, D and Er, the same messages, IterCount and ending as the plain reader of one
// record at a time, run here step by step as the method states it. A file cut during a sweep must end
// the command with MsgBadFile on every way, never with a signal.
//
// Input: byte 0 the order (1..8); byte 1 the clicks (1..4, bits 0-1), a file cut during a sweep (bit
// 2), a file cut at open (bit 3), a starting X of ones (bit 4); byte 2 where the file is cut; the rest
// the value bytes of the records 1, 2, ... (little-endian), missing ones 0.
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/run_outcome.h"
#include "core/errors.h"
#include "core/numerics.h"
#include "core/row_access_testing.h"
#include "fuzz/fuzz_support.h"

using namespace varnex;
using namespace varnex::fuzz;

namespace {

struct Input {
    int n = 1;
    int clicks = 1;
    bool cut_in_sweep = false;
    std::size_t length = 0;  // bytes of the file at open
    std::size_t cut_to = 0;  // bytes left by the cut during a sweep
    bool ones = false;
    std::string bytes;  // the file
};

Input parse(const std::uint8_t* data, std::size_t size) {
    Input in;
    auto at = [&](std::size_t k) { return k < size ? data[k] : std::uint8_t{0}; };
    in.n = 1 + at(0) % 8;
    in.clicks = 1 + (at(1) & 3);
    in.cut_in_sweep = (at(1) & 4) != 0;
    in.ones = (at(1) & 16) != 0;
    const std::size_t records = static_cast<std::size_t>(in.n) * (in.n + 1) + at(0) / 8 % 4;  // a few beyond
    const std::size_t full = records * 128;
    in.bytes.assign(full, static_cast<char>(0xA5));  // bytes 4..127 of a record mean nothing
    for (std::size_t r = 0; r < records; ++r)
        for (std::size_t b = 0; b < 4; ++b) in.bytes[r * 128 + b] = static_cast<char>(at(3 + 4 * r + b));
    in.length = (at(1) & 8) ? full * at(2) / 256 : full;
    in.cut_to = in.length * at(2) / 256;
    return in;
}

// What a run left behind, bit for bit.
struct Outcome {
    std::vector<std::uint32_t> x, r, d;
    std::uint32_t er = 0;
    int iter_count = 0;
    std::vector<std::string> shown;
    std::string ended;
    bool operator==(const Outcome&) const = default;
};

std::vector<std::uint32_t> bits(const std::vector<float>& v) {
    std::vector<std::uint32_t> out;
    for (float f : v) out.push_back(std::bit_cast<std::uint32_t>(f));
    return out;
}

Outcome outcome_of(const App& app, const Boxes& box, std::string ended) {
    return {bits(app.st.X),   bits(app.st.R), bits(app.st.D),  std::bit_cast<std::uint32_t>(app.st.Er),
            app.st.IterCount, box.shown,      std::move(ended)};
}

// Cuts the row file to `to` bytes at the grid write number `at` of a sweep (another program truncating
// it while it is read).
struct Cutter final : GridObserver {
    std::string path;
    std::size_t to = 0;
    int at = -1, writes = 0;
    void grid_reset() override {}
    void cell_written(int, int) override {
        if (++writes == at && ::truncate(path.c_str(), static_cast<off_t>(to)) != 0) std::abort();
    }
};

void set_up(FuzzApp& f, const Input& in, const std::string& rows) {
    App& app = f.app;
    f.box.shown.clear();
    f.ui.texts.clear();
    std::FILE* file = std::fopen(rows.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(in.bytes.data(), 1, in.length, file);
    std::fclose(file);
    app.st.N = static_cast<int16_t>(in.n);
    app.st.DataMode = kModeConnected;
    app.st.IterCount = 1;
    app.st.Er = 0.0f;
    app.st.X.assign(static_cast<std::size_t>(in.n) + 1, in.ones ? 1.0f : 0.0f);
    app.st.X[0] = 0.0f;
    app.st.R.clear();
    app.st.D.clear();
    app.grid.fill_x(app.st.N, app.st.X);
}

// The clicks with the row file read the given way.
Outcome clicks(FuzzApp& f, const Input& in, const std::string& rows, RowAccess access, Cutter* cut) {
    set_row_access(access);
    set_up(f, in, rows);
    f.app.grid.set_observer(cut);
    for (int k = 0; k < in.clicks; ++k) {
        cmdIter_Click(f.app);
        if (f.app.last_run.end != RunEnd::OneSweep) break;
    }
    f.app.grid.set_observer(nullptr);
    set_row_access(RowAccess::Automatic);
    return outcome_of(f.app, f.box, describe(f.app.last_run));
}

// The same clicks by the plain readers, one record at a time, as the method states them.
Outcome plain(FuzzApp& f, const Input& in, const std::string& rows) {
    set_up(f, in, rows);
    SystemState& st = f.app.st;
    RunOutcome end;
    end.end = RunEnd::OneSweep;
    try {
        st.R.assign(static_cast<std::size_t>(in.n) + 1, 0.0f);
        st.D.assign(static_cast<std::size_t>(in.n) + 1, 0.0f);
        st.solve_row_file.open(rows);
        get_residual_file_plain(st);
        get_norms_file_plain(st, f.box);
        for (int k = 0; k < in.clicks; ++k) {
            do_iteration_file_plain(st, f.app.grid);
            st.IterCount = static_cast<int16_t>(st.IterCount + 1);
        }
    } catch (const RunError& e) {
        end.end = RunEnd::Fault;
        end.fault = error_name(e.kind());
    }
    st.solve_row_file.close();
    return outcome_of(f.app, f.box, describe(end));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzApp f;
    const Input in = parse(data, size);
    const std::string rows = row_file_path(f.app.app_folder);
    const RowAccess ways[] = {RowAccess::Mapped, RowAccess::Streamed, RowAccess::StreamedCached};
    if (!in.cut_in_sweep || in.cut_to >= in.length) {
        const Outcome want = plain(f, in, rows);
        for (RowAccess way : ways) {
            const Outcome got = clicks(f, in, rows, way, nullptr);
            FUZZ_CHECK(got == want,
                       "way " + std::to_string(static_cast<int>(way)) + ": " + got.ended + " / " + want.ended);
        }
        return 0;
    }
    // Cut while the first sweep reads the file (or the set-up, for a zero column's message): however
    // far each way had read, the command ends on the file error, and says so.
    for (RowAccess way : ways) {
        Cutter cut;
        cut.path = rows;
        cut.to = in.cut_to;
        cut.at = 1 + static_cast<int>(in.cut_to % static_cast<std::size_t>(in.n));
        const Outcome got = clicks(f, in, rows, way, &cut);
        if (cut.writes < cut.at) continue;  // the sweep ended before the cut (a fault of its own)
        FUZZ_CHECK(!got.shown.empty() && got.shown.back() == f.app.st.msg.MsgBadFile,
                   "way " + std::to_string(static_cast<int>(way)) + ": " + got.ended);
        FUZZ_CHECK(f.app.last_run.end == RunEnd::Message, got.ended);
    }
    return 0;
}
