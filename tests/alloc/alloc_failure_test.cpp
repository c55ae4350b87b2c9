// Memory that runs out at every single allocation of a command: this program replaces operator new
// with one that counts and fails the k-th allocation, and runs each command once for every k that
// the command reaches. Each run must end inside the command with at most one of its messages (the
// one for memory where there is one), and the same command afterwards must do its whole work.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/open_command.h"
#include "commands/save_command.h"
#include "core/convert.h"
#include "support/fakes.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_count{0};
std::atomic<long> g_fail_at{0};  // 0: count only

// Counts the allocation while counting is on; true when it is the one to fail.
bool fails() {
    return g_counting.load(std::memory_order_relaxed) &&
           g_count.fetch_add(1, std::memory_order_relaxed) + 1 == g_fail_at.load(std::memory_order_relaxed);
}

void* allocate(std::size_t n) {
    if (void* p = fails() ? nullptr : std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

void* allocate_aligned(std::size_t n, std::align_val_t a) {
    const std::size_t align = static_cast<std::size_t>(a);
    if (void* p = fails() ? nullptr : std::aligned_alloc(align, (n + align - 1) / align * align)) return p;
    throw std::bad_alloc();
}

}  // namespace

// The array, nothrow and sized forms of the library go through these.
void* operator new(std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate_aligned(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace varnex {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// No allocation is counted or failed while the fake boxes record a text, so that every message a
// command shows is seen; the questions are answered Yes and not recorded.
struct Paused {
    bool was = g_counting.exchange(false);
    ~Paused() { g_counting = was; }
};
struct Boxes : test::FakeBoxes {
    void message(std::string_view t) override {
        Paused p;
        shown.emplace_back(t);
    }
    bool ask_yes_no(std::string_view) override { return true; }
};

struct Trial {
    test::TestApp t;
    Boxes boxes;
    Trial() { t.app.box = &boxes; }
    std::string path(const std::string& rel) const { return t.dir.path() + "/" + rel; }
    /// Has the next file dialog confirm data/sys.txt.
    void offer() { t.cd.next.push_back(path("data/sys.txt")); }
};

// One command of the table: its set-up (not counted), the command, the messages it may show when an
// allocation fails, and what has to happen again before the command is repeated (a file dialog to
// answer, a system to connect).
struct Case {
    const char* name;
    void (*setup)(Trial&);
    void (*command)(App&);
    Texts allowed;
    void (*again)(Trial&) = [](Trial&) {};
};

// Every file below the application folder, by its name there, with its bytes.
std::map<std::string, std::string> files_of(const Trial& r) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(r.t.dir.path()))
        if (e.is_regular_file()) files[fs::relative(e.path(), r.t.dir.path())] = test::read_file(e.path());
    return files;
}

// What a command's complete work leaves: the files, the row file, the grid's texts and the controls'
// texts but the time's.
std::string state_of(const Trial& r) {
    std::string s = test::read_file(row_file_path(r.t.app.app_folder));
    for (const auto& [name, bytes] : files_of(r)) s += name + ":" + bytes + "\n";
    for (int row = 0; row < r.t.app.grid.rows(); ++row)
        for (int c = 0; c < r.t.app.grid.cols(); ++c) s += r.t.app.grid.text(row, c) + "|";
    for (const auto& [c, t] : r.t.ui.texts) s += c == Ctl::txtTime ? "" : "\n" + t;
    return s;
}

void type_system(Trial& r) {
    r.t.ui.set_text(Ctl::txtN, "3");
    cmdN_Click(r.t.app);
    const char* cells[3][4] = {{"4", "1", "0", "5"}, {"1", "4", "1", "6"}, {"0", "1", "4", "5"}};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 4; ++j) r.t.app.grid.set_text(i, 2 * j - 1, cells[i - 1][j - 1]);
    r.t.ui.set_text(Ctl::txtEps, "0.001");
}

const char* const kSystem = "4 1 0 5\r\n1 4 1 6\r\n0 1 4 5\r\n";

// The system file with a solution file beside it, offered by the next file dialog.
void system_with_solution(Trial& r) {
    r.t.dir.write("data/sys.txt", kSystem);
    r.t.dir.write("data/solutions/sys.txt", "0.5 0.25 1e3 \r\n");
    r.offer();
}

// The system connected afresh, with an accuracy that takes a few sweeps.
void connected(Trial& r) {
    r.t.cd.next.push_back(r.t.dir.write("data/sys.txt", kSystem));
    Connect_Click(r.t.app);
    r.t.ui.set_text(Ctl::txtEps, "0.001");
}

// The message table as the commands fill it.
const Messages kMsg = [] {
    Messages m;
    m.fill();
    return m;
}();

std::vector<Case> cases() {
    const auto offer = [](Trial& r) { r.offer(); };
    const auto save_over_old = [](Trial& r) {
        type_system(r);
        r.t.app.grid.set_text(2, 9, "0.75");
        r.t.dir.write("data/sys.txt", "old system");
        r.offer();
    };
    const Texts not_saved = {" Sorry, the file could not be saved: not enough memory.",
                             " Sorry, the file could not be saved."};
    return {
        {"Load",
         [](Trial&) {},
         Form_Load,
         {kMsgNoMemory, " Sorry, the sample systems could not be written: not enough memory."}},
        {"Accept N",
         [](Trial& r) { r.t.ui.set_text(Ctl::txtN, "3"); },
         cmdN_Click,
         {kMsg.MsgBadNumber, kMsg.MsgNoMemory}},
        {"Open", system_with_solution, Open_Click, {kMsg.MsgNoMemory}, offer},
        {"Connect", system_with_solution, Connect_Click, {kMsg.MsgBadFile, kMsg.MsgBadNumber, kMsg.MsgNoMemory}, offer},
        {"Save", save_over_old, Save_Click, not_saved, offer},
        {"Find solution", type_system, cmdSolution_Click, {kMsg.MsgBadData, kMsg.MsgBadNumber, kMsg.MsgNoMemory}},
        {"Find solution, connected", connected, cmdSolution_Click, {kMsg.MsgBadFile, kMsg.MsgNoMemory}, connected},
    };
}

// Runs the command with the k-th allocation failing (k = 0: none fails); returns the allocations
// it made. A failure escaping the command is a test failure.
long run_failing_at(const Case& c, Trial& r, long k) {
    g_count = 0;
    g_fail_at = k;
    g_counting = true;
    try {
        c.command(r.t.app);
    } catch (...) {
        g_counting = false;
        ADD_FAILURE() << c.name << ": an exception left the command at allocation " << k;
    }
    g_counting = false;
    return g_count;
}

// Each run with a failing allocation leaves every file whole: as it was before the command, as the
// command writes it, or absent where it was absent. The command then does its whole work.
TEST(AllocationFailure, EveryAllocationOfEveryCommandFailsCleanly) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        Trial clean;
        c.setup(clean);
        const auto before = files_of(clean);
        const long total = run_failing_at(c, clean, 0);
        ASSERT_TRUE(clean.boxes.shown.empty()) << clean.boxes.shown[0];
        ASSERT_GT(total, 0);
        const auto after = files_of(clean);
        c.again(clean);
        c.command(clean.t.app);
        const std::string want = state_of(clean);
        for (long k = 1; k <= total; ++k) {
            SCOPED_TRACE(k);
            Trial r;
            c.setup(r);
            r.boxes.shown.clear();
            run_failing_at(c, r, k);
            ASSERT_LE(r.boxes.shown.size(), 1u) << r.boxes.shown[0] << " / " << r.boxes.shown[1];
            const auto& shown = r.boxes.shown;
            EXPECT_TRUE(shown.empty() || std::ranges::count(c.allowed, shown[0]) == 1) << shown[0];
            for (const auto& [name, bytes] : files_of(r)) {
                const auto old = before.find(name), written = after.find(name);
                EXPECT_TRUE((old != before.end() && old->second == bytes) ||
                            (written != after.end() && written->second == bytes))
                    << name;
            }
            c.again(r);
            c.command(r.t.app);
            EXPECT_EQ(state_of(r), want);
        }
    }
}

}  // namespace
}  // namespace varnex
