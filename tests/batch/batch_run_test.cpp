// The batch run in process: argument parsing, the progress line's pace, what a script sees when a
// command fails (the exit code and the exact message texts on stderr), and what it reads when one
// succeeds: the report, its JSON, the files saved and the verdict.
#include "batch/batch_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <sstream>

#include "batch/batch_args.h"
#include "batch/batch_seams.h"
#include "support/fakes.h"

using namespace varnex;
using namespace varnex::batch;

namespace {

const char* const kNoFile = " Sorry, there is no the file.\n";
const char* const kBadFile = " Sorry, not correct data in the file.\n";
const char* const kBadNumber = " Sorry, not correct format of the entered number.\n";
const char* const kBadData = " Sorry, incorrect data or not all  data are available.\n";

struct Outcome {
    int code;
    std::string out, err;
    Report report;
};

// Runs one command line against a fresh application folder (the one of `dir`).
class BatchRun : public ::testing::Test {
  protected:
    test::TempDir dir;

    Outcome run(const std::vector<std::string>& argv) {
        const Parsed p = parse_args(argv);
        EXPECT_EQ(p.kind, Parsed::Run) << p.error;
        const test::CwdGuard back;  // the run moves into the folders it writes
        std::ostringstream out, err;
        Outcome o;
        o.code = run_batch(p.args, {.app_folder = dir.path(), .cwd = dir.path(), .out = &out, .err = &err}, &o.report);
        return {o.code, out.str(), err.str(), o.report};
    }
};

// The exit code, stderr, the sweeps, IterCount and how the run ended.
auto ending(const Outcome& o) {
    return std::tuple(o.code, o.err, o.report.sweeps, o.report.iter_count, o.report.ended);
}

}  // namespace

// The forms a script uses are run by the tests below and by the executable's; these are refused.
TEST(BatchArgs, RefusesWhatIsNotADocumentedForm) {
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{},
                                               {"solve", "x"},
                                               {"open", "--json"},
                                               {"open", "x", "--eps", "1", "--sweeps", "2"},
                                               {"open", "x", "--sweeps", "32767"},
                                               {"open", "x", "--sweeps", "2x"},
                                               {"open", "x", "--quiet"}})
        EXPECT_EQ(parse_args(bad).kind, Parsed::Error) << bad.size();
}

TEST(BatchProgress, QuietForASecondThenFourTimesASecondOnATerminalOrEveryTenSecondsInALog) {
    double now = 0.0;
    // The progress output of `sweeps` sweeps, one every `step` seconds.
    auto lines = [&](bool terminal, int sweeps = 2500, double step = 0.01) {
        std::ostringstream err;
        Progress p(err, terminal, [&] { return now; });
        now = 100.0;
        p.start();
        for (int k = 1; k <= sweeps; ++k) {
            now += step;
            p.sweep(k, 0.5f);
        }
        p.finish();
        return err.str();
    };
    const std::string tty = lines(true);
    const auto rewrites = std::count(tty.begin(), tty.end(), '\r');
    EXPECT_GE(rewrites, 90);  // (25 - 1) s at four a second
    EXPECT_LE(rewrites, 97);
    EXPECT_EQ(tty.substr(0, 26), "\rsweep 100  Er 0.5  elapse");
    EXPECT_EQ(tty.find('\n'), tty.size() - 1);
    EXPECT_EQ(lines(false), "sweep 1000  Er 0.5  elapsed 10.0 s\nsweep 2000  Er 0.5  elapsed 20.0 s\n");
    EXPECT_EQ(lines(true, 1, 0.9), "");  // a run under a second prints nothing
}

TEST_F(BatchRun, MissingFileBadNumberShortRowEachShowTheirMessageAndExitOne) {
    dir.write("good.txt", "2 1 3\r\n1 3 5\r\n");
    dir.write("token.txt", "2 1 3\r\n1 abc 5\r\n");
    dir.write("short.txt", "2 1 3\r\n1 3\r\n");
    struct Case {
        std::vector<std::string> argv;
        const char* err;
    };
    // A bad token is the solve's to report in memory mode and the conversion's in connected mode.
    for (const Case& c : std::vector<Case>{{{"open", "nowhere.txt"}, kNoFile},
                                           {{"connect", "nowhere.txt", "--save"}, kBadFile},
                                           {{"open", "good.txt", "--eps", "abc", "--save"}, kBadNumber},
                                           {{"open", "token.txt", "--save"}, kBadData},
                                           {{"connect", "token.txt", "--save"}, kBadNumber},
                                           {{"open", "short.txt", "--save"}, kBadFile}}) {
        const Outcome o = run(c.argv);
        EXPECT_EQ(o.code, 1) << c.argv[0] << " " << c.argv[1];
        EXPECT_EQ(o.err, c.err) << c.argv[0] << " " << c.argv[1];
        EXPECT_TRUE(o.report.saved.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/data/solutions"));
}

TEST_F(BatchRun, SolvesReportsAndSavesBesideTheProgram) {
    // The worked system of the connected commands: four sweeps from zeros to Er <= 0.5. Its name is
    // not UTF-8: the JSON stays valid, with the name's bytes beside it.
    const std::string sys = dir.write("in/sys\xff\xc3(.txt", "2 1 3\r\n1 3 5\r\n");
    Outcome o = run({"connect", "./in/sys\xff\xc3(.txt", "--eps", "0.5", "--save", "--json"});
    ASSERT_EQ(ending(o), std::tuple(0, "", 4, 5, "accuracy reached"));
    EXPECT_EQ(o.out.find("{\"command\":\"connect\",\"system\":\""), 0u) << o.out;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 1);
    QJsonParseError error{};
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(o.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << o.out;
    EXPECT_TRUE(json["system"].toString().endsWith(QString::fromUtf8("in/sys\uFFFD\uFFFD(.txt")));
    EXPECT_EQ(QByteArray::fromHex(json["system_bytes"].toString().toLatin1()).toStdString(), sys);
    EXPECT_EQ(std::pair(json["N"].toInt(), json["Er_text"].toString()), std::pair(2, QString("0.2625")));
    // The window's accuracy report, measured from the row file in connected mode.
    EXPECT_EQ(o.report.accuracy.rfind("4 sweeps, accuracy reached", 0), 0u) << o.report.accuracy;
    EXPECT_THAT(o.out, testing::HasSubstr("\"accuracy\":{\"sweeps\": 4,"));
    EXPECT_THAT(o.out, testing::HasSubstr("\"backward_error\": "));
    const std::string solution = dir.path() + "/data/solutions/sys\xff\xc3(.txt";
    EXPECT_EQ(o.report.saved, std::vector<std::string>{solution});
    EXPECT_EQ(test::read_file(solution), "0.975 1.3125 \r\n");

    // Open finds that stored solution as its start; three clicks of "Next Iteration" go on from it.
    o = run({"open", sys, "--sweeps", "3", "--save", "copy.txt"});
    ASSERT_EQ(ending(o), std::tuple(0, "", 3, 4, "sweeps done"));
    EXPECT_EQ(test::read_file(dir.path() + "/data/copy.txt"), "2 1 3 \r\n1 3 5 \r\n");
    EXPECT_THAT(o.out, testing::HasSubstr("\nsweeps: 3\nIterCount: 4\nended: sweeps done\n"));
}

TEST_F(BatchRun, ExistingFilesAreKeptWithoutReplaceAndUnwritableTargetsFail) {
    const std::string sys = dir.write("sys.txt", "2 1 3\r\n1 3 5\r\n");
    ASSERT_EQ(run({"open", sys, "--save"}).code, 0);
    const std::string saved = dir.path() + "/data/sys.txt";
    const std::string solution = dir.path() + "/data/solutions/sys.txt";
    dir.write("data/solutions/sys.txt", "keep \r\n");

    // Both questions are printed and answered No: nothing is replaced.
    Outcome o = run({"open", sys, "--save"});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err.find("Such file exists. Do you want to replace the old file?" + saved + "\n"), 0u) << o.err;
    EXPECT_THAT(o.err, testing::HasSubstr("Such file exists. Do you want to replace the old file?" + solution + "\n"));
    EXPECT_EQ(test::read_file(solution), "keep \r\n");
    EXPECT_TRUE(o.report.saved.empty());
    o = run({"open", sys, "--save", "--replace"});
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.report.saved, (std::vector<std::string>{saved, solution}));
    EXPECT_NE(test::read_file(solution), "keep \r\n");

    // A plain file where the solutions folder should be: the solution cannot be written.
    std::filesystem::remove_all(dir.path() + "/data/solutions");
    dir.write("data/solutions", "not a folder");
    o = run({"connect", sys, "--save"});
    EXPECT_EQ(o.code, 1);
    // Save says why, and the batch program names the file that is missing.
    EXPECT_EQ(o.err.rfind(" Sorry, the file could not be saved: ", 0), 0u) << o.err;
    EXPECT_THAT(o.err, testing::HasSubstr("\nvarnex-batch: Save could not write " + solution + "\n"));
}

TEST_F(BatchRun, OpenImportsMatrixMarketAndDelimitedFilesAsTheWindowsImportDoes) {
    // The same 2×2 system three ways: each solves to the same files.
    const std::string txt = dir.write("in/sys.txt", "2 1 3\r\n1 3 5\r\n");
    const std::string mtx = dir.write("in/m.mtx",
                                      "%%MatrixMarket matrix coordinate real general\n"
                                      "% a comment\n2 2 4\n1 1 2\n1 2 1\n2 1 1\n2 2 3\n");
    dir.write("in/m_b.mtx", "%%MatrixMarket matrix array real general\n2 1\n3\n5\n");
    const Outcome plain = run({"open", txt, "--eps", "0.01", "--save", "t.txt"});
    ASSERT_EQ(plain.code, 0) << plain.err;
    for (const std::string& file : {mtx, dir.write("in/c.csv", "a1,a2,b\n2,1,3\n1,3,5\n")}) {
        const Outcome o = run({"open", file, "--eps", "0.01", "--save", "i.txt", "--replace"});
        ASSERT_EQ(o.code, 0) << file << o.err;
        EXPECT_EQ(test::read_file(dir.path() + "/data/i.txt"), test::read_file(dir.path() + "/data/t.txt"));
        EXPECT_EQ(test::read_file(dir.path() + "/data/solutions/i.txt"),
                  test::read_file(dir.path() + "/data/solutions/t.txt"));
    }
    // Without NAME_b.mtx the right-hand side is A·1, and the note says so.
    std::filesystem::remove(dir.path() + "/in/m_b.mtx");
    const Outcome ones = run({"open", mtx});
    ASSERT_EQ(ones.code, 0) << ones.err;
    EXPECT_THAT(ones.out, testing::HasSubstr("note: no right-hand side found: b = A·1, so x = 1 solves it\n"));
    // A refused import is one line, the bad-file message and then where and why, and exit code 1.
    const Outcome bad = run({"open", dir.write("in/z.mtx",
                                               "%%MatrixMarket matrix coordinate complex general\n"
                                               "1 1 1\n1 1 1 0\n")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.err,
              " Sorry, not correct data in the file. z.mtx, line 1: complex values cannot be solved here: "
              "real, integer or pattern only\n");
}

TEST_F(BatchRun, VerdictComesFirstAndAccurateWritesTheReference) {
    // The elimination stops at a zero pivot in column 2; x = (1, 2, 3) exactly.
    dir.write("in/zp.txt", "2 1 0 4\r\n1 0.5 1 5\r\n1 -1 0 -1\r\n");
    Outcome o = run({"open", "in/zp.txt", "--eps", "1", "--accurate", "out/x.mtx"});
    ASSERT_EQ(o.code, 1);  // the folder out/ does not exist: nothing written, and said so
    EXPECT_THAT(o.err, testing::HasSubstr("could not be written to " + dir.path() + "/out/x.mtx"));
    std::filesystem::create_directories(dir.path() + "/out");
    o = run({"open", "in/zp.txt", "--eps", "1", "--accurate", "out/x.mtx"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out.rfind("verdict: x ", 0), 0u) << o.out;
    EXPECT_NE(o.out.find(": the elimination met a zero pivot; see View"), std::string::npos) << o.out;
    EXPECT_EQ(test::read_file(dir.path() + "/out/x.mtx"),
              "%%MatrixMarket matrix array real general\r\n3 1\r\n1\r\n2\r\n3\r\n");
    EXPECT_THAT(o.out, testing::HasSubstr("accurate: " + dir.path() + "/out/x.mtx\n"));
    // The JSON: verdict, digits, the reasons' keys, and the reference's bounds; an existing file is
    // kept without --replace.
    o = run({"open", "in/zp.txt", "--eps", "1", "--accurate", "out/x.mtx", "--json"});
    EXPECT_EQ(o.code, 1);
    EXPECT_THAT(o.out, testing::HasSubstr(
                           "\"verdict\": \"doubt\", \"digits\": 1, \"reasons\": [\"zero_pivot\", \"loose_eps\"]"));
    EXPECT_THAT(o.out, testing::HasSubstr("\"reference\": {\"normwise_bound\": "));
}
