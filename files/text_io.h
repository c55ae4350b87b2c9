#pragma once
// Plain file access for the text system and solution files: whole-file reading, lines read through a
// chunk buffer, line and token splitting over the bytes in memory, and a buffered writer. Every
// failure is a RunError, so the command that calls them catches it in its own trap.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "core/number_reading.h"

namespace varnex {

/// True when the path names an existing ordinary file (a folder is not one). A missing file or a
/// missing folder on the way gives false; any other failure of the test (a name that the file system
/// rejects, such as one too long) raises RunError(FileError).
bool is_ordinary_file(const std::string& path);

/// Makes the folder the process's current directory; raises RunError(FileError) when it cannot.
void change_directory(const std::string& folder);

/// A file opened for reading, closed again by the destructor.
class InputFile {
  public:
    /// Opens the file; raises RunError(FileError) when it cannot be opened.
    explicit InputFile(const std::string& path);
    /// Takes over a descriptor opened for reading.
    explicit InputFile(int fd) : fd_(fd) {}
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    /// Every byte from the current position to the end. The text is sized from the file's size, so a
    /// small file costs what it holds; a file that grows meanwhile (or reports no size) is still read
    /// whole. Raises RunError(FileError) on a read error and RunError(OutOfMemory) when the text cannot
    /// be held.
    std::string read_all();
    /// Reads up to `size` bytes into `to`; returns how many, 0 at the end. Raises RunError(FileError)
    /// on a read error.
    std::size_t read(char* to, std::size_t size);
    /// Bytes from the current position to the end as the file's size tells them; 0 when unknown.
    std::size_t remaining_hint();
    /// Tells the system that the bytes [from, to) of the file will not be read again, so that a file
    /// larger than memory, read once, does not push everything else out of the page cache.
    void let_go(std::uint64_t from, std::uint64_t to);
    /// Tells the system that the file will be read front to back.
    void read_ahead();

  private:
    int fd_ = -1;
};

/// The longest line that a valid text system file of the order n holds: n + 1 tokens of at most
/// kTokenText bytes each, blanks included (a single-precision number needs far fewer), and never
/// less than one reading chunk. n <= 0 stands for an order not known yet: the largest one, 32766.
inline constexpr std::size_t kTokenText = 128;
std::size_t longest_valid_line(int n);

/// A line longer than longest_valid_line() of its file's order: the file is no system file (one
/// without any line end, say), and it is refused before its line fills memory.
class LineTooLong : public RunError {
  public:
    LineTooLong() : RunError(ErrorKind::FileError, "a line longer than any line of its order") {}
};

/// Walks the lines of a file as LineReader walks a text, reading it front to back through one buffer
/// that holds a chunk of the file (at most `chunk` bytes, less for a smaller file) and grows only for
/// a line longer than that. So a large file is read once into memory that stays warm, and a small one
/// costs what it holds. Open, Connect and the reading of a solution all read their lines so. Behind
/// every line handed out lie at least kScanSlack readable bytes (of no particular content), so that
/// scan_tokens may run over the line where it stands. A file large against the memory of this
/// process is read once: the pages behind the reader are let go.
class FileLines {
  public:
    static constexpr std::size_t kChunk = 256 * 1024;
    /// Raises RunError(OutOfMemory) when the buffer cannot be had.
    explicit FileLines(InputFile& file, std::size_t chunk = kChunk);
    /// True when every byte of the file has been handed out; reads on to find out.
    bool at_end();
    /// The next line without its line end, valid until the next call; only while !at_end(). Raises
    /// RunError(FileError) on a read error and RunError(OutOfMemory) when a long line cannot be held.
    std::string_view next();
    /// From now on a line longer than `bytes` raises LineTooLong instead of growing the buffer.
    void limit_line(std::size_t bytes) { limit_ = bytes; }

  private:
    friend struct FileLinesProbe;  // the tests' view of the buffer's size

    // Moves the unread bytes to the front and reads more behind them, growing the buffer when it is
    // full; false when the file had no more.
    bool fill();
    // A buffer of `size` bytes and the slack behind them, the slack zeroed.
    static std::unique_ptr<char[]> allocate(std::size_t size);

    InputFile& file_;
    std::unique_ptr<char[]> buf_;
    std::size_t size_ = 0;   ///< bytes the file is read into (kScanSlack more are allocated)
    std::size_t begin_ = 0;  ///< first unread byte
    std::size_t end_ = 0;    ///< end of the bytes read
    std::size_t scan_ = 0;   ///< no LF lies in begin_..scan_
    std::size_t limit_ = static_cast<std::size_t>(-1);
    bool eof_ = false;
    bool drop_behind_ = false;              ///< the file is large: pages behind are let go
    std::uint64_t read_ = 0, dropped_ = 0;  ///< bytes read from the file's start, and let go, so far
};

/// Walks the lines of a text held in memory. A line ends at LF; one CR right before that LF, or at
/// the very end of the text, is dropped, so LF and CR LF files read alike. A text that ends with a
/// line end has no empty line after it; an empty text has no line at all.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    bool at_end() const { return rest_.empty(); }
    /// The next line without its line end; only while !at_end().
    std::string_view next();

  private:
    std::string_view rest_;
};

/// Splits a line into its blank-separated tokens exactly as get_row does (U+0020 only separates; a
/// tab or a CR is part of a token), as views into the line: `tokens` is cleared and then holds token
/// 1..m at 0..m-1. A line of more than 32767 tokens raises RunError(Overflow) as get_row's 16-bit
/// count would. Allocates nothing once `tokens` has grown to the line's size.
void split_tokens(std::string_view line, std::vector<std::string_view>& tokens);

/// A file created or emptied for writing; the destructor writes what it holds and closes it (dropping
/// errors), close() does the same and reports them. Written bytes gather in a buffer that grows with
/// them up to kChunk and is then written out and reused, so a small file costs what it holds and a
/// large one a single warm chunk.
class OutputFile {
  public:
    /// Creates or empties the file; raises RunError(FileError) when it cannot be opened for writing.
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Appends the bytes; raises RunError(FileError) when they cannot be written.
    void write(std::string_view bytes);
    /// Flushes and closes; raises RunError(FileError) when that fails.
    void close();

    static constexpr std::size_t kChunk = 256 * 1024;

  private:
    // Writes the gathered bytes to the file and empties the buffer.
    void flush();

    std::FILE* f_ = nullptr;
    std::string buf_;
};

}  // namespace varnex
