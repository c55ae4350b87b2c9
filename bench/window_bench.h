#pragma once
// What the benchmarks of the windows share: an Open dialog that always answers with one file, the
// median of a set of timings, and a main that starts Qt (offscreen unless a platform is given)
// before the benchmarks run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <string>
#include <vector>

#include "core/fp_env.h"
#include "core/ui.h"

namespace varnex::bench {

/// The Open dialog, answered with one fixed file.
class FixedDialog : public FileDialog {
  public:
    explicit FixedDialog(std::string path) : path_(std::move(path)) {}
    bool ShowOpen() override {
        FileName = path_;
        return true;
    }
    bool ShowSave() override { return false; }

  private:
    std::string path_;
};

inline double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

/// The body of main: Qt first, then every registered benchmark.
inline int run_window_benchmarks(int argc, char** argv) {
    keep_denormals();  // as the program does: the sweeps' bits need denormal results
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace varnex::bench
