#include "cli/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "cli/inputs.hpp"

namespace tern::cli {

namespace {

namespace fs = std::filesystem;

std::string reason(int error) { return std::strerror(error); }

// The folder of `path` as the system names it ("." for a bare file name).
std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The permissions a file created with open(..., 0666) would get.
mode_t newFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = umask(022);
        umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

// Makes a finished rename durable; the file is in place already, so a
// folder that cannot be flushed (some file systems refuse) is no failure.
void flushFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
    if (path_.empty() || path_.back() == '/') throw CommandError("cannot write \"" + path_ + "\": it names no file");
    std::string pattern = folderOf(path_) + "/." + nameOf(path_) + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0)
        throw CommandError("cannot write " + path_ + ": no file can be created in the folder " + folderOf(path_) +
                           " (" + reason(errno) + ")");
    temp_ = name.data();
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    (void)::fchmod(fd_, newFileMode());
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::write(std::string_view data) {
    if (fd_ < 0) fail("the file is not open");
    while (!data.empty()) {
        const ssize_t n = ::write(fd_, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? reason(errno) : "nothing was written");
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

void AtomicFile::handOver() {
    if (fd_ >= 0 && ::close(fd_) != 0) {
        fd_ = -1;
        fail(reason(errno));
    }
    fd_ = -1;
}

void AtomicFile::commit() {
    if (done_) fail("the file was finished already");
    if (fd_ < 0) {
        fd_ = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) fail(reason(errno));
    }
    if (::fsync(fd_) != 0) fail(reason(errno));
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) fail(reason(errno));
    if (::rename(temp_.c_str(), path_.c_str()) != 0) fail(reason(errno));
    done_ = true;
    flushFolder(folderOf(path_));
}

void AtomicFile::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!done_ && !temp_.empty()) ::unlink(temp_.c_str());
    done_ = true;
}

void AtomicFile::fail(const std::string& what) {
    discard();
    throw CommandError("cannot write " + path_ + ": " + what + "; nothing was written there");
}

void writeFileAtomically(const std::string& path, std::string_view text) {
    AtomicFile file(path);
    file.write(text);
    file.commit();
}

void checkOutputPaths(const std::vector<std::pair<std::string, std::string>>& outputs) {
    std::map<std::string, std::string> seen;  // the file's identity, and the option that named it
    for (const auto& [option, path] : outputs) {
        if (path.empty()) continue;
        const std::string where = option + " " + path;
        if (path.find_first_of("\r\n") != std::string::npos)
            throw UsageError(option + ": a file name with a line break is refused");
        if (path.back() == '/') throw CommandError(where + ": the path names a folder, not a file");
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) throw CommandError(where + ": the path is a folder; give a file name");
            if (!S_ISREG(info.st_mode))
                throw CommandError(where +
                                   ": the path is not a regular file (a device, a pipe or a socket); give a file name");
        }
        const std::string folder = folderOf(path);
        if (::stat(folder.c_str(), &info) != 0)
            throw CommandError(where + ": the folder " + folder + " does not exist");
        if (!S_ISDIR(info.st_mode)) throw CommandError(where + ": " + folder + " is not a folder");
        try {
            AtomicFile probe(path);
        } catch (const CommandError& e) {
            throw CommandError(option + ": " + e.what());
        }
        std::error_code error;
        fs::path canonical = fs::weakly_canonical(fs::absolute(fs::path(folder), error), error);
        const std::string identity = (error ? fs::path(folder) : canonical).string() + "/" + nameOf(path);
        const auto [it, fresh] = seen.emplace(identity, option);
        if (!fresh)
            throw UsageError(where + ": the same file is given to " + it->second + "; give every output its own file");
    }
}

}  // namespace tern::cli
