#include "commands/import_command.h"

#include <exception>
#include <new>

#include "commands/open_command.h"
#include "core/ascii.h"
#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "core/order_notes.h"
#include "files/delimited_text.h"
#include "files/import_text.h"
#include "files/matrix_market.h"
#include "files/packed_input.h"
#include "files/text_io.h"

namespace varnex {

namespace {

std::string base_name(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension with its dot, in lower case ("" when the name has none).
std::string extension(const std::string& path) {
    const std::string name = base_name(path);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return ascii_lower(std::string_view(name).substr(dot));
}

// The path without its extension.
std::string stem(const std::string& path) {
    const std::size_t ext = extension(path).size();
    return path.substr(0, path.size() - ext);
}

bool starts_matrix_market(std::string_view text) {
    constexpr std::string_view banner = "%%matrixmarket";
    text = without_bom(text);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.size() < banner.size()) return false;
    for (std::size_t k = 0; k < banner.size(); ++k) {
        if (ascii_lower(text[k]) != banner[k]) return false;
    }
    return true;
}

std::string read_bytes(const std::string& path) {
    InputFile in(path);
    return in.read_all();
}

// The bytes of a right-hand side file, unpacked when it is compressed.
std::string read_rhs_bytes(const std::string& path) {
    std::string bytes = read_bytes(path);
    if (!packed_kind(std::string_view(bytes).substr(0, 512))) return bytes;
    return unpack(base_name(path), bytes).bytes;
}

// NAME_b.mtx beside the matrix NAME.mtx (also beside NAME.mtx.gz and the like), plain or compressed;
// empty when there is none.
std::string rhs_beside(const std::string& matrix_path) {
    const std::string b = stem(without_packed_suffix(matrix_path)) + "_b.mtx";
    for (const char* suffix : {"", ".gz", ".bz2", ".xz", ".zst"})
        if (is_ordinary_file(b + suffix)) return b + suffix;
    return {};
}

// Reads the Matrix Market matrix in sys.text, then its right-hand side from `b_bytes` (named
// `b_name`) when one was found, otherwise b = A*1.
void read_matrix_and_rhs(const std::string& name, ImportedSystem& sys, const std::string& b_name, std::string b_bytes,
                         bool has_b) {
    read_matrix_market(name, sys, !has_b);
    if (has_b) {
        sys.b_text = std::move(b_bytes);
        read_matrix_market_rhs(b_name, sys);
    } else {
        sys.compute_b_as_row_sums(name);
    }
}

// A compressed file or an archive: what it holds replaces the packed bytes in sys.text. Inside an
// archive the names in refusals are ARCHIVE/MEMBER.
void read_packed(const std::string& path, ImportedSystem& sys) {
    const std::string name = base_name(path);
    Unpacked u = unpack(name, sys.text);
    sys.owned = std::move(u.bytes);
    sys.text = sys.owned;
    const std::string inner = u.archive ? name + "/" + u.name : name;
    if (extension(u.name) != ".mtx" && !starts_matrix_market(sys.text)) {
        read_delimited(inner, sys);
        return;
    }
    if (u.archive) {
        read_matrix_and_rhs(inner, sys, name + "/" + u.b_name, std::move(u.b_bytes), u.has_b);
        return;
    }
    const std::string b_path = rhs_beside(path);
    read_matrix_and_rhs(inner, sys, base_name(b_path), b_path.empty() ? std::string() : read_rhs_bytes(b_path),
                        !b_path.empty());
}

}  // namespace

bool is_import_file(const std::string& path) {
    const std::string plain = without_packed_suffix(path);
    const std::string ext = extension(plain);
    if (ext == ".mtx" || ext == ".csv" || ext == ".tsv") return true;
    // An archive (NAME.tar.gz) holds its matrix under a name of its own.
    if (plain != path && ext.empty()) return true;
    // Compressed bytes are never a text system, whatever the name. Only an ordinary file is looked
    // into: the bytes of a pipe would be gone for Open.
    std::string head(512, '\0');
    try {
        if (!is_ordinary_file(path)) return false;
        InputFile in(path);
        head.resize(in.read(head.data(), head.size()));
    } catch (const std::exception&) {
        return false;
    }
    return packed_kind(head) != nullptr;
}

void read_import(const std::string& path, ImportedSystem& sys) {
    // A .mtx file is parsed straight from its mapping; delimited text is rewritten in place, so it
    // is read into memory of its own (as is a file that cannot be mapped).
    const bool mtx = extension(path) == ".mtx";
    if (mtx && sys.mapped.map(path)) {
        sys.text = sys.mapped.bytes();
    } else {
        sys.owned = read_bytes(path);
        sys.text = sys.owned;
    }
    if (packed_kind(sys.text.substr(0, 512))) {
        read_packed(path, sys);
        return;
    }
    const std::string name = base_name(path);
    if (!mtx && !starts_matrix_market(sys.text)) {
        read_delimited(name, sys);
        return;
    }
    const std::string b_path = rhs_beside(path);
    read_matrix_and_rhs(name, sys, base_name(b_path), b_path.empty() ? std::string() : read_rhs_bytes(b_path),
                        !b_path.empty());
}

bool import_system(App& app, const std::string& path) {
    SystemState& st = app.st;
    ImportedSystem sys;
    // Everything is read and checked before the grid is touched, so a refusal changes nothing.
    try {
        if (!is_ordinary_file(path)) {
            app.box->message(st.msg.MsgNoFile);
            return false;
        }
        read_import(path, sys);
    } catch (const ImportRefusal& r) {
        if (r.order() > kMaxImportOrder) app.ui->status(order_limit_note(r.order()));
        // One line: the message for a file whose data is not correct, then where and why.
        app.box->message(st.msg.MsgBadFile + " " + r.where_and_why());
        return false;
    } catch (const RunError& e) {
        app.box->message(e.kind() == ErrorKind::OutOfMemory ? st.msg.MsgNoMemory : st.msg.MsgBadFile);
        return false;
    } catch (const std::bad_alloc&) {
        app.box->message(st.msg.MsgNoMemory);
        return false;
    } catch (const std::exception&) {
        app.box->message(st.msg.MsgBadFile);
        return false;
    }
    try {
        ensure_system_memory(app, sys.n, static_cast<std::uint64_t>(sys.n) * (sys.n + 1) * 12);
        app.grid.fill_data(int16_or_overflow(sys.n));
        st.N = int16_or_overflow(sys.n);
        sys.write_cells(app.grid);
    } catch (const std::exception&) {
        // Only memory can run short here: the order was checked against the layout while reading.
        app.box->message(st.msg.MsgNoMemory);
        return false;
    }
    enter_memory_mode(app);
    reset_for_order(app);
    if (sys.b_computed)
        app.ui->status(kNoteBComputed);
    else
        app.ui->status("imported " + base_name(path) + ": order " + std::to_string(sys.n));
    return true;
}

void Import_Click(App& app) {
    const std::string previous = app.cd->FileName;
    try {
        app.cd->InitDir = app.app_folder + "/data/";
        change_directory(app.cd->InitDir);
        if (!app.cd->ShowOpen()) return;
    } catch (const std::exception&) {
        app.box->message(app.st.msg.MsgBadFile);
        return;
    }
    import_path(app, app.cd->FileName, previous);
}

void import_path(App& app, const std::string& path, const std::string& previous) {
    app.cd->FileName = import_system(app, path) ? stem(without_packed_suffix(path)) + ".txt" : previous;
}

}  // namespace varnex
