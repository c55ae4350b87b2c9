#include "batch/batch_args.h"

#include <charconv>

namespace varnex::batch {

namespace {

bool is_option(const std::string& s) { return s.size() > 1 && s[0] == '-'; }

// K of --sweeps: a plain decimal count that fits "Next Iteration"'s 16-bit counter.
std::optional<int> parse_count(const std::string& s) {
    int value = 0;
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, value);
    if (ec != std::errc() || p != end || s.empty() || value < 0 || value > 32766) return std::nullopt;
    return value;
}

Parsed error(std::string why) {
    Parsed p;
    p.kind = Parsed::Error;
    p.error = std::move(why);
    return p;
}

}  // namespace

std::string usage_text() {
    // The GNU layout (a "Usage:" line, "or:" lines, two blanks between an option and its text), from
    // which help2man makes the manual page.
    return "Usage: varnex-batch open SYSTEM.txt [--eps E | --sweeps K] [--save [NAME]] [--accurate FILE] "
           "[--json] [--replace]\n"
           "  or:  varnex-batch connect SYSTEM.txt [--eps E | --sweeps K] [--save [NAME]] [--accurate FILE] "
           "[--json] [--replace]\n"
           "  or:  varnex-batch --help\n"
           "\n"
           "  open         solve SYSTEM.txt in memory (its stored solution in data/solutions is the start);\n"
           "               a .mtx, .csv or .tsv file is imported as File, Import does\n"
           "  connect      convert SYSTEM.txt into the row file and solve from there (connected mode)\n"
           "  --eps E      run \"Find  solution\" to the desired accuracy E (default: N/10)\n"
           "  --sweeps K   make K sweeps of \"Next Iteration\" instead\n"
           "  --save       save under NAME (default: the name of SYSTEM.txt) in the data folder beside\n"
           "               the program, with the solution in data/solutions\n"
           "  --replace    replace files that exist (otherwise they are kept and the exit code is 1)\n"
           "  --accurate FILE  write the accurate solution to FILE with 17 significant digits (Matrix\n"
           "               Market for a .mtx name, one value per line otherwise)\n"
           "  --json       print the result as one JSON object\n"
           "\n"
           "Exit codes: 0 solved or stopped (Ctrl+C), 1 a command failed (its message is on stderr),\n"
           "2 bad usage.\n";
}

Parsed parse_args(const std::vector<std::string>& argv) {
    for (const std::string& a : argv)
        if (a == "--help" || a == "-h") {
            Parsed p;
            p.kind = Parsed::Help;
            return p;
        }
    if (argv.empty()) return error("no command given");
    Parsed p;
    p.kind = Parsed::Run;
    Args& args = p.args;
    if (argv[0] == "open") {
        args.command = Command::Open;
    } else if (argv[0] == "connect") {
        args.command = Command::Connect;
    } else {
        return error("unknown command '" + argv[0] + "'");
    }
    if (argv.size() < 2 || is_option(argv[1])) return error("no system file given");
    args.system = argv[1];

    // i: the argument being read; an option that takes a value consumes the next one too.
    for (std::size_t i = 2; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        const bool has_next = i + 1 < argv.size();
        if (a == "--eps") {
            if (!has_next) return error("--eps needs a value");
            if (args.eps) return error("--eps given twice");
            args.eps = argv[++i];
        } else if (a == "--sweeps") {
            if (!has_next) return error("--sweeps needs a value");
            if (args.sweeps) return error("--sweeps given twice");
            args.sweeps = parse_count(argv[++i]);
            if (!args.sweeps) return error("--sweeps needs a count from 0 to 32766, not '" + argv[i] + "'");
        } else if (a == "--save" || a.rfind("--save=", 0) == 0) {
            if (args.save) return error("--save given twice");
            args.save = true;
            if (a.size() > 6) {
                args.save_name = a.substr(7);
                if (args.save_name.empty()) return error("--save= needs a name");
            } else if (has_next && !is_option(argv[i + 1])) {
                args.save_name = argv[++i];
            }
        } else if (a == "--accurate") {
            if (!has_next) return error("--accurate needs a file name");
            if (args.accurate) return error("--accurate given twice");
            args.accurate = argv[++i];
        } else if (a == "--json") {
            args.json = true;
        } else if (a == "--replace") {
            args.replace = true;
        } else if (is_option(a)) {
            return error("unknown option '" + a + "'");
        } else {
            return error("unexpected argument '" + a + "'");
        }
    }
    if (args.eps && args.sweeps) return error("--eps and --sweeps exclude each other");
    return p;
}

}  // namespace varnex::batch
