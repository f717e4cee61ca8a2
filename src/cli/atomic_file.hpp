// Output files that appear whole or not at all. Every output of the command
// line is written to a temporary file in the folder of its final path and
// renamed into place only once it is complete and flushed to the disk, so
// that a failure, a full disk, a file-size limit or a signal leaves the
// previous file at that path (if any) untouched and no partial file behind.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tern::cli {

class AtomicFile {
public:
    // Creates the temporary file beside `path` (a hidden name in the same
    // folder). CommandError naming `path` when it cannot.
    explicit AtomicFile(std::string path);
    // Removes the temporary file unless it was committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& path() const { return path_; }
    // Where the content goes until commit().
    const std::string& temporaryPath() const { return temp_; }

    // Appends `data` to the temporary file; CommandError when any byte
    // cannot be written.
    void write(std::string_view data);

    // Closes this object's own descriptor, so that another writer (the
    // MAT-file library, gnuplot) can fill temporaryPath() by name.
    void handOver();

    // Flushes the temporary file to the disk, closes it and renames it to
    // path(). CommandError (and the temporary file removed) when any step
    // fails.
    void commit();

    // Removes the temporary file now; nothing is left at path() by it.
    void discard() noexcept;

    // Raises CommandError "cannot write <path>: <what>" after discarding.
    [[noreturn]] void fail(const std::string& what);

private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    bool done_ = false;
};

// Writes `text` to `path` through an AtomicFile.
void writeFileAtomically(const std::string& path, std::string_view text);

// Checks, before any work is done, that every named output can be written:
// its folder exists and takes a new file (a temporary file is created there
// and removed again), the path is not a folder or a device, and no path is
// given twice (also through another spelling of the same folder). `outputs`
// holds (option, path) pairs; empty paths are skipped. CommandError (a file
// failure) naming the option and the path when a path cannot take the file,
// UsageError when a file is given twice or its name holds a line break.
void checkOutputPaths(const std::vector<std::pair<std::string, std::string>>& outputs);

}  // namespace tern::cli
