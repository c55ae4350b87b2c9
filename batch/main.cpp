// varnex-batch: the main window's commands without a window, for scripts and servers.
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "batch/batch_args.h"
#include "batch/batch_run.h"
#include "core/convert.h"
#include "core/fp_env.h"
#include "core/reference.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_saving = 0;

// The first Ctrl+C (or SIGTERM, SIGHUP: a shutdown, a closed terminal) asks the run to stop after the
// sweep in progress, and Save still writes its files when asked to; a second one ends the program at
// once, unless Save is writing its files, which are never left half written by this handler.
extern "C" void on_interrupt(int sig) {
    if (g_stop && !g_saving) _exit(128 + sig);
    g_stop = 1;
    static const char note[] = "\nvarnex-batch: stopping after the sweep in progress (Ctrl+C again ends at once)\n";
    const ssize_t ignored = write(STDERR_FILENO, note, sizeof note - 1);
    (void)ignored;
}

void install_interrupt_handler() {
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

// The folder of the program's own file, as the window takes its application folder.
std::string application_folder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path().string();
    return exe.parent_path().string();
}

// The user's decimal separator from the locale, as the window takes it; the C library's numeric
// locale itself stays "C".
char locale_decimal_separator() {
    char sep = '.';
    if (std::setlocale(LC_NUMERIC, "")) {
        const char* point = std::localeconv()->decimal_point;
        if (point && std::strlen(point) == 1 && static_cast<unsigned char>(point[0]) < 0x80) sep = point[0];
    }
    std::setlocale(LC_NUMERIC, "C");
    return sep;
}

}  // namespace

int main(int argc, char** argv) {
    // The exact arithmetic needs denormal results, as in the window.
    varnex::keep_denormals();
    // OpenBLAS's pool would spin on one of the processors while Connect wants both.
    varnex::single_threaded_blas();
    using namespace varnex::batch;

    const Parsed parsed = parse_args(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.kind == Parsed::Help) {
        std::cout << usage_text();
        return 0;
    }
    if (parsed.kind == Parsed::Error) {
        std::cerr << "varnex-batch: " << parsed.error << "\n\n" << usage_text();
        return 2;
    }

    varnex::set_decimal_separator(locale_decimal_separator());
    install_interrupt_handler();
    Environment env;
    env.app_folder = application_folder();
    env.cwd = std::filesystem::current_path().string();
    env.out = &std::cout;
    env.err = &std::cerr;
    env.err_is_terminal = isatty(STDERR_FILENO) == 1;
    env.stop = &g_stop;
    env.saving = &g_saving;
    return run_batch(parsed.args, env);
}
