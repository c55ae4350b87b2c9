// varnex-batch when things go wrong around it: two programs on one application folder, Ctrl+C while
// Connect converts and while Save writes, a file name that is not UTF-8 in --json, and a small memory
// cgroup around an Open too large for it or a file without line ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "exe.h"
#include "support/cgroup.h"
#include "support/fakes.h"

namespace fs = std::filesystem;
using namespace varnex::test;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif
#else
constexpr bool kAsan = false;
#endif

// Names of Save's hidden temporary files in a folder.
std::vector<std::string> temporaries(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name[0] == '.' && name.find(".~") != std::string::npos) found.push_back(name);
    }
    return found;
}

// Pauses the program (SIGSTOP) and waits until it has stopped, so that what it is doing can be
// looked at and a signal sent at a known point.
void pause(pid_t pid) {
    kill(pid, SIGSTOP);
    int status = 0;
    waitpid(pid, &status, WUNTRACED);
}

// Whether the program catches SIGINT yet: its handler is installed.
bool catches_sigint(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1;
    return false;
}

std::uintmax_t size_of(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

// A cgroup v1 memory group of its own with the given limit, removed again once its processes have
// ended; dir is empty when none can be made (no cgroup v1 memory controller, not root).
struct MemoryCgroup {
    const std::string dir;
    explicit MemoryCgroup(std::uint64_t limit)
        : dir(make_cgroup("/sys/fs/cgroup/memory",
                          {{"memory.limit_in_bytes", std::to_string(limit)}, {"memory.swappiness", "0"}})) {}
    ~MemoryCgroup() {
        for (int k = 0; !dir.empty() && k < 50 && ::rmdir(dir.c_str()) != 0; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string tasks() const { return dir + "/cgroup.procs"; }
};

class BatchRobust : public ::testing::Test {
  protected:
    TempDir dir;
    const std::string app = dir.path() + "/app";  // the batch program's application folder
};

}  // namespace

TEST_F(BatchRobust, TwoProgramsOnOneFolderDoNotShareTheRowFile) {
    const std::string first = dir.write("app/data/first.txt", noisy_system(200));
    const std::string second = dir.write("app/data/second.txt", "2 1 3\r\n1 3 5\r\n");
    ExeRun other;
    const ExeRun r = run_exe(app, {"connect", first, "--sweeps", "32766", "--save"}, [&](pid_t pid) {
        // Once the first holds the row file, the second finds it taken and touches nothing.
        ASSERT_TRUE(wait_for([&] { return fs::exists(app + "data.vnx"); }, 20000));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        other = run_exe(app, {"connect", second});
        kill(pid, SIGINT);
    });
    EXPECT_EQ(other.code, 1);
    EXPECT_THAT(other.err, testing::HasSubstr(" is in use by another VARNEX SOLVER"));
    EXPECT_EQ(r.code, 0) << r.err;
    // The first run's system is the one it solved and saved.
    const std::string solution = read_file(app + "/data/solutions/first.txt");
    EXPECT_GT(solution.size(), 200u);
    // Afterwards the lock is gone with its holder.
    EXPECT_EQ(run_exe(app, {"connect", second}).code, 0);
}

TEST_F(BatchRobust, CtrlCDuringConnectCompletesTheRowFileAndASecondOneEndsAtOnce) {
    // Order 1000: a row file of 128 MB. The program is paused as soon as the file is begun and gets
    // its Ctrl+C there; the first of two Ctrl+C comes before.
    const int n = 1000;
    const std::uintmax_t whole = static_cast<std::uintmax_t>(n) * (n + 1) * 128;
    const std::string text = noisy_system(n);
    for (int presses : {1, 2}) {
        SCOPED_TRACE(presses);
        const std::string folder = "app" + std::to_string(presses);
        const std::string each = dir.path() + "/" + folder;  // an application folder for each run
        const std::string rows = each + "data.vnx";
        const std::string system = dir.write(folder + "/data/big.txt", text);
        bool converting = false;
        const ExeRun r = run_exe(each, {"connect", system, "--sweeps", "1", "--save"}, [&](pid_t pid) {
            if (presses == 2) {
                wait_for([&] { return catches_sigint(pid); }, 20000);
                kill(pid, SIGINT);
            }
            wait_for([&] { return size_of(rows) > 0; }, 20000);
            pause(pid);
            converting = size_of(rows) < whole;
            kill(pid, SIGINT);
            kill(pid, SIGCONT);
        });
        ASSERT_TRUE(converting) << "the conversion was over before Ctrl+C";
        EXPECT_TRUE(read_file(system) == text) << "the system file changed";
        if (presses == 1) {
            // The conversion ends whole, no sweep follows, and Save still writes the solution.
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_THAT(r.out, testing::HasSubstr("\nsweeps: 0\n"));
            EXPECT_THAT(r.out, testing::HasSubstr("\nended: stopped\n"));
            EXPECT_EQ(size_of(rows), whole);
            EXPECT_THAT(r.out, testing::HasSubstr("\nsaved: " + each + "/data/solutions/big.txt\n"));
        } else {
            // Ended in the middle of the conversion with no result, and its lock on the row file with it.
            EXPECT_EQ(r.code, 128 + SIGINT);
            EXPECT_EQ(r.out, "");
            EXPECT_LT(size_of(rows), whole);
            EXPECT_EQ(run_exe(each, {"connect", dir.write(folder + "/data/two.txt", "2 1 3\r\n1 3 5\r\n")}).code, 0);
        }
        EXPECT_TRUE(temporaries(each + "/data/solutions").empty());
    }
}

TEST_F(BatchRobust, SigtermThenCtrlCWhileSaveWritesLeaveBothFilesWhole) {
    const std::string system = dir.write("app/data/big.txt", noisy_system(1200));
    bool saving = false;
    const ExeRun r = run_exe(app, {"open", system, "--sweeps", "1", "--save", "saved.txt"}, [&](pid_t pid) {
        // A shutdown's SIGTERM asks the run to stop; a Ctrl+C while Save writes does not end it half-way.
        wait_for([&] { return catches_sigint(pid); }, 20000);
        kill(pid, SIGTERM);
        wait_for([&] { return !temporaries(app + "/data").empty(); }, 20000);
        pause(pid);
        saving = !temporaries(app + "/data").empty();
        kill(pid, SIGINT);
        kill(pid, SIGCONT);
    });
    ASSERT_TRUE(saving) << "Save was over before it could be interrupted";
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(size_of(app + "/data/saved.txt"), size_of(system));
    EXPECT_TRUE(fs::exists(app + "/data/solutions/saved.txt"));
    EXPECT_TRUE(temporaries(app + "/data").empty());
    EXPECT_TRUE(temporaries(app + "/data/solutions").empty());
}

TEST_F(BatchRobust, JsonIsValidForANameThatIsNotUtf8) {
    const std::string raw = "sys\xff\xc3(.txt";
    const std::string system = dir.write("app/data/" + raw, "2 1 3\r\n1 3 5\r\n");
    const std::string saved = "out\xfe.txt";
    const ExeRun r = run_exe(app, {"open", system, "--sweeps", "2", "--save", saved, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << r.out;
    const QJsonObject o = doc.object();
    EXPECT_TRUE(o["system"].toString().endsWith(QString::fromUtf8("sys\uFFFD\uFFFD(.txt")));
    const QByteArray bytes = QByteArray::fromHex(o["system_bytes"].toString().toLatin1());
    EXPECT_EQ(bytes.toStdString(), system);
    ASSERT_EQ(o["saved_bytes"].toArray().size(), 2);
    EXPECT_EQ(QByteArray::fromHex(o["saved_bytes"].toArray()[0].toString().toLatin1()).toStdString(),
              app + "/data/" + saved);
    // Er and the text of the accuracy box agree.
    EXPECT_EQ(o["Er_text"].toString().toStdString(), "1.05");
    EXPECT_FLOAT_EQ(static_cast<float>(o["Er"].toDouble()), 1.05f);
}

TEST_F(BatchRobust, InsideASmallMemoryCgroupOpenSaysWhyInsteadOfBeingKilled) {
    if (kAsan) GTEST_SKIP() << "the sanitizer's shadow memory does not fit a 64 MB cgroup";
    MemoryCgroup group(64u << 20);
    if (group.dir.empty()) GTEST_SKIP() << "no cgroup v1 memory group can be made here";
    // Order 3000: grid and A need well over 64 MB.
    std::string text;
    for (int k = 1; k <= 3000 * 3001; ++k) text += k % 3001 ? "1 " : "1 \r\n";
    ExeRun r = run_exe(app, {"open", dir.write("app/data/order3000.txt", text), "--sweeps", "1"}, {}, group.tasks());
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_THAT(r.err, testing::HasSubstr(" Sorry, not enough memory. Please try the option-'Connect to' from the File Menu"));

    // 100 MB without a line end: Open and Connect refuse it as a bad file, within the limit.
    const std::string endless = dir.write("app/data/endless.txt", "1");
    fs::resize_file(endless, 100u << 20);
    for (const char* command : {"open", "connect"}) {
        r = run_exe(app, {command, endless}, {}, group.tasks());
        EXPECT_EQ(r.code, 1) << command << r.err;
        EXPECT_NE(r.err.find(" Sorry, not correct data in the file."), std::string::npos) << command << r.err;
    }
}
