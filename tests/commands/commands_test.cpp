// The main window's command logic driven through the fakes: load, Accept N and its notes, entry,
// arrows and typing into cells, the solve traps, and how each ending of a solve command is recorded in
// App::last_run, with the sweeps the report counts; the sample systems written by the first load, and
// what a dropped file becomes.
#include "commands/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "commands/accuracy_report.h"
#include "commands/cell_entry.h"
#include "commands/connect_command.h"
#include "commands/run_outcome.h"
#include "commands/sample_generator.h"
#include "core/convert.h"
#include "core/order_notes.h"
#include "files/dropped_file.h"
#include "steps.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::accept;
using test::accept_n;
using test::enter_system;
using test::TestApp;
using Texts = std::vector<std::string>;

TEST(FormLoad, ReportsAnUncreatableDataFolderAndBadAccuracyButCarriesOn) {
    TestApp t;
    t.app.app_folder = t.dir.path() + "/missing/parent";
    t.ui.texts[Ctl::txtEps] = "abc";
    Form_Load(t.app);
    EXPECT_EQ(t.box.shown, (Texts{" Sorry, the data folder could not be created.", t.app.st.msg.MsgBadNumber}));
}

// Over an order of 5 with a(1,1) entered and "Accept A(i,j)" off: a refused order (N stays 5) shows
// MsgBadNumber and leaves grid and buttons alone; one past the limit has a note of where larger systems
// go (a half goes to the even neighbour first), and a fraction is rounded with a note.
TEST(AcceptN, RoundsHalvesToEvenAndRefusesUnusableOrdersWithTheirNotes) {
    for (auto [text, n, notes] : {std::tuple{"2.5", 2, Texts{"N = 2.5 was rounded to order 2"}},
                                  {"3.5", 4, Texts{"N = 3.5 was rounded to order 4"}},
                                  {" 3.0 ", 3, Texts{}},
                                  {"0", 0, Texts{}},
                                  {"abc", 5, Texts{}},
                                  {"-1", 5, Texts{}},
                                  {"16382", 5, Texts{order_limit_note(16382)}},
                                  {"16381.5", 5, Texts{order_limit_note(16382)}},
                                  {"1E6", 5, Texts{order_limit_note(1000000)}}}) {
        SCOPED_TRACE(text);
        TestApp t;
        accept_n(t, "5");
        accept(t, 1, 1, "7");
        t.ui.on[Ctl::cmdA] = false;
        accept_n(t, text);
        const bool refused = n == 5;
        EXPECT_EQ(t.box.shown, refused ? Texts{t.app.st.msg.MsgBadNumber} : Texts{});
        EXPECT_EQ(t.app.grid.rows(), n + 1);
        EXPECT_TRUE(n == 0 || t.app.grid.text(1, 1) == (refused ? "7" : "a(1,1)"));
        EXPECT_EQ(t.ui.enabled(Ctl::cmdA), !refused);
        EXPECT_EQ(t.ui.notes, notes);
        EXPECT_TRUE(notes.empty() || is_order_note(notes[0]));
    }
}

TEST(Entry, ArrowsStopAtOneAndNAndBadIndicesOrValuesWriteNothing) {
    TestApp t;
    cmdDown_Click(t.app, 0);
    EXPECT_EQ(t.ui.text(txt_index(0)), "1");
    accept_n(t, "3");
    for (int k = 0; k < 5; ++k) cmdUp_Click(t.app, 1);
    EXPECT_EQ(t.ui.text(txt_index(1)), "3");

    accept_n(t, "2");  // the selector keeps 3, above the new order
    t.ui.texts[Ctl::txtA] = "5";
    cmdA_Click(t.app);
    accept(t, 2, 1, "2.50");
    EXPECT_EQ(t.app.grid.text(2, 1), "2.50");  // written as typed
    for (auto [i, j, v] : {std::tuple{1, 1, "abc"}, {1, 1, "1e99"}, {0, 1, "1"}, {3, 0, "1"}, {1, 0, "x"}})
        accept(t, i, j, v);
    EXPECT_EQ(t.box.shown, Texts(6, t.app.st.msg.MsgBadNumber));
    EXPECT_EQ(t.app.grid.text(1, 1), "a(1,1)");
    EXPECT_EQ(t.app.grid.text(1, 5), "b(1)");  // column 2*3-1 is the b column at N = 2
}

TEST(CellEntry, OnlyCoefficientAndRightHandSideCellsOfAMemorySystemTakeValuesAsTyped) {
    TestApp t;
    EXPECT_EQ(cell_entry(t.app, 1, 1).kind, CellEntry::Kind::None);  // nothing laid out yet
    accept_n(t, "3");
    const CellEntry a = cell_entry(t.app, 2, 5), b = cell_entry(t.app, 3, 7);
    EXPECT_EQ(std::tuple(a.kind, a.i, a.j, b.kind, b.i), std::tuple(CellEntry::Kind::A, 2, 3, CellEntry::Kind::B, 3));
    // Operators, the approximation x(i), the headers and cells outside the layout stay read-only.
    for (auto [row, col] : {std::pair{1, 2}, {1, 6}, {1, 8}, {1, 9}, {0, 1}, {1, 0}, {4, 1}, {1, 11}})
        EXPECT_EQ(cell_entry(t.app, row, col).kind, CellEntry::Kind::None) << row << "," << col;
    EXPECT_TRUE(enter_cell(t.app, 2, 5, " -1E3 ") && enter_cell(t.app, 3, 7, "4"));
    for (const char* bad : {"", "1e99"}) EXPECT_FALSE(enter_cell(t.app, 2, 5, bad)) << bad;
    EXPECT_EQ(t.app.grid.text(2, 5), " -1E3 ");
    EXPECT_FALSE(enter_cell(t.app, 1, 9, "5"));  // x(1): nothing shown, nothing written
    EXPECT_EQ(t.box.shown, Texts(2, t.app.st.msg.MsgBadNumber));
    // A connected system has no entry cells.
    t.with_file(Connect_Click, t.dir.write("data/big.txt", "1 2 3\r\n4 5 6\r\n"));
    ASSERT_EQ(t.app.st.DataMode, kModeConnected);
    EXPECT_EQ(cell_entry(t.app, 1, 1).kind, CellEntry::Kind::None);
    EXPECT_FALSE(enter_cell(t.app, 1, 1, "7"));
}

// A coefficient never entered: the trap's message, which ends the run's record; a bad accuracy: no
// run begins at all.
TEST(SolveCommands, BadInputIsReportedAndChangesNothing) {
    TestApp t;
    enter_system(t);
    t.app.grid.set_text(2, 3, "a(2,2)");
    cmdSolution_Click(t.app);
    cmdIter_Click(t.app);
    EXPECT_EQ(t.box.shown, Texts(2, t.app.st.msg.MsgBadData));
    EXPECT_EQ(std::tuple(t.app.last_run.end, t.app.last_run.fault), std::tuple(RunEnd::Message, t.box.shown[0]));
    EXPECT_EQ(report_line(accuracy_report(t.app)), "0 sweeps, message: " + t.app.st.msg.MsgBadData);
    const unsigned runs = t.app.last_run.runs;

    accept(t, 2, 2, "3");
    t.app.st.IterCount = 5;
    t.ui.texts[Ctl::txtEps] = "abc";
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.box.shown.back(), t.app.st.msg.MsgBadNumber);
    EXPECT_EQ(t.app.st.IterCount, 5);
    EXPECT_EQ(t.app.last_run.runs, runs);
}

// A grid large enough to be loaded on two threads, with one bad cell in either half of the rows, at
// a row's first or last coefficient, its b or its x: the arrays hold exactly what loading the cells
// one by one in row order stores before the bad one, zeros and the earlier x after it.
TEST(SolveCommands, ABadCellAnywhereInALargeGridStopsTheLoadingThere) {
    const int n = 300;
    auto value = [](int i, int j) { return static_cast<float>((i * 7 + j * 3) % 101) / 8.0f - 6.0f; };
    // (row, column of the grid) of the bad cell; column 2n + 3 is x(i), 2n + 1 is b(i).
    const std::pair<int, int> bad[] = {{1, 1}, {7, 2 * n + 3}, {150, 2 * n - 1}, {151, 1}, {222, 2 * n + 1}, {300, 9}};
    for (auto [bad_row, bad_col] : bad) {
        SCOPED_TRACE(testing::Message() << bad_row << "," << bad_col);
        TestApp t;
        accept_n(t, std::to_string(n));
        for (int i = 1; i <= n; ++i)
            for (int c = 1; c <= 2 * n + 3; c += 2) t.app.grid.set_text(i, c, single_to_text(value(i, (c + 1) / 2)));
        t.app.grid.set_text(bad_row, bad_col, "1,5");
        dim_cleared(t.app.st.X, n);
        for (int i = 1; i <= n; ++i) t.app.st.X[i] = -static_cast<float>(i);
        cmdIter_Click(t.app);
        EXPECT_EQ(t.box.shown, Texts{t.app.st.msg.MsgBadData});
        bool before = true;  // in row order, the cells before the bad one
        int mismatches = 0;
        for (int i = 1; i <= n; ++i) {
            for (int c = 1; c <= 2 * n + 3; c += 2) {
                if (i == bad_row && c == bad_col) before = false;
                const float loaded = before ? value(i, (c + 1) / 2) : c == 2 * n + 3 ? -static_cast<float>(i) : 0.0f;
                const float held = c == 2 * n + 3   ? t.app.st.X[i]
                                   : c == 2 * n + 1 ? t.app.st.B[i]
                                                    : t.app.st.A(i, (c + 1) / 2);
                mismatches += held != loaded;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(SolveCommands, OrderZeroAZeroColumnAndAFaultEndTheCommand) {
    TestApp t;
    accept_n(t, "0");
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.ui.text(Ctl::txtEr), "0");

    enter_system(t, {"1", "0", "1", "0", "1", "2"});
    t.ui.texts[Ctl::txtTime] = "old";
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.box.shown, Texts{"NoSolution"});
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");
    EXPECT_EQ(t.app.grid.text(1, 7), "1.5");          // the unknown before the zero column was moved and shown
    enter_system(t, {"1", "0", "1", "0", "3", "5"});  // now the first sweep meets a fault too
    cmdSolution_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run).rfind("fault: ", 0), 0u);
    EXPECT_FALSE(t.app.last_run.timed);
}

TEST(RunOutcome, EachEndingIsRecordedWithItsSweeps) {
    TestApp t;
    enter_system(t);
    cmdSolution_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "accuracy reached");
    EXPECT_TRUE(t.app.last_run.find_solution && t.app.last_run.timed && t.app.last_run.sweeps == 1);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "0.25");  // the clock read before and after, a quarter apart

    t.ui.set_text(Ctl::txtEps, "-1");  // only stagnation can end this run
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.app.last_run.end, RunEnd::NoFurtherProgress);
    const int sweeps = run_sweeps(t.app);
    EXPECT_EQ(sweeps, t.app.last_run.sweeps);
    cmdIter_Click(t.app);  // continues the run
    EXPECT_EQ(t.app.last_run.end, RunEnd::OneSweep);
    EXPECT_EQ(run_sweeps(t.app), sweeps + 1);

    // The sweep that meets the counter's limit is made and counted; the command ends silently, with
    // the counter and the time as they were.
    t.app.st.IterCount = 32767;
    t.ui.texts[Ctl::txtTime] = "older";
    cmdIter_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "sweep counter limit");
    EXPECT_TRUE(t.app.st.IterCount == 32767 && t.ui.text(Ctl::txtTime) == "older" && !t.app.last_run.timed);
    EXPECT_EQ(report_line(start_report(t.app)).rfind("32767 sweeps, sweep counter limit", 0), 0u);

    // A stop request ends "Find  solution" after its first sweep; the connected run starts from
    // zeros, so that no stop rule holds there.
    test::StoppingControls stopping(t.ui);
    t.app.ui = &stopping;
    t.with_file(Connect_Click, t.dir.write("data/s.txt", "2 1 3\r\n1 3 5\r\n"));
    cmdSolution_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "stopped");
    EXPECT_TRUE(run_sweeps(t.app) == 1 && t.app.last_run.timed);
    const AccuracyReport r = accuracy_report(t.app);  // a verdict that names why the run ended
    EXPECT_NE(r.judgement.verdict, Verdict::Trust);
    EXPECT_EQ(test::reason_keys(r), std::vector<std::string>{"stopped"});
    t.app.ui = &t.ui;
}

std::string sample(const TestApp& t, int k) {
    return test::read_file(t.dir.path() + "/data/sample" + std::to_string(k) + ".txt");
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

TEST(SampleGenerator, OnlyAStartWithoutTheDataFolderWritesFourSystemsTheSameEveryTime) {
    TestApp first, second;
    Form_Load(first.app);
    EXPECT_EQ(first.app.st.DataMode, kModeEmpty);  // the samples are files only, not a loaded system
    std::filesystem::create_directory(second.dir.path() + "/data");
    generate_samples(second.app);
    generate_samples(second.app);  // a generation over existing files empties them first
    for (int k = 1; k <= 4; ++k) {
        SCOPED_TRACE(k);
        expect_sample(sample(first, k), 1 << (2 * k));
        EXPECT_EQ(sample(second, k), sample(first, k));
    }
    // The generator runs on from file to file rather than restarting.
    EXPECT_NE(sample(first, 1).substr(0, 20), sample(first, 2).substr(0, 20));
    // A data folder, even an empty one, or a file of that name means no samples.
    for (bool folder : {true, false}) {
        TestApp t;
        const std::string data = t.dir.path() + "/data";
        folder ? (void)std::filesystem::create_directory(data) : (void)t.dir.write("data", "not a folder");
        Form_Load(t.app);
        EXPECT_TRUE(folder ? std::filesystem::is_empty(data) : test::read_file(data) == "not a folder");
        EXPECT_TRUE(t.box.shown.empty());
    }
}

TEST(DroppedFile, EachKindOfDropHasItsCommandOrItsMessage) {
    TestApp t;
    using A = DropDecision::Action;
    const char* const names[] = {"sys.txt", "system", "a.mtx", "b.CSV", "c.tsv", "d.mtx.gz", "e.tar.gz"};
    for (int k = 0; k < 7; ++k) {
        const std::string path = t.dir.write(names[k], "2 3\r\n");
        EXPECT_EQ(decide_drop({path}).action, k < 2 ? A::Open : A::Import) << names[k];
        EXPECT_EQ(decide_drop({path}).path, path);
    }
    // A binary file, a folder, several files, a file that is gone, a drop without a local file.
    const std::string png = t.dir.write("picture.png", std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    const std::string txt = t.dir.path() + "/sys.txt", gone = t.dir.path() + "/gone.txt";
    for (const std::vector<std::string>& drop :
         std::vector<std::vector<std::string>>{{png}, {t.dir.path()}, {txt, png}, {gone}, {}}) {
        const DropDecision d = decide_drop(drop);
        EXPECT_EQ(d.action, A::Refuse);
        EXPECT_FALSE(d.message.empty());
    }
    EXPECT_NE(decide_drop({txt, png}).message.find("2 files"), std::string::npos);
    EXPECT_NE(decide_drop({t.dir.path()}).message.find("is a folder"), std::string::npos);
}

}  // namespace
}  // namespace varnex
