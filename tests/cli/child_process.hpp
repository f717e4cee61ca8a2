// Runs the `tern` program as a child process, under a file-size or
// address-space limit, or with a signal sent while it works, and reports its
// exit status, standard error and peak memory.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace tern::cli::test {

struct ChildOptions {
    rlim_t fileSizeLimit = RLIM_INFINITY;      // bytes
    rlim_t addressSpaceLimit = RLIM_INFINITY;  // bytes
    int signal = 0;                            // sent once the child is under way
    long signalAtResidentKb = 0;               // ... once its resident memory passes this
    double signalAfterSeconds = 0.5;           // ... or after this long when no memory mark is given
};

struct ChildResult {
    int status = -1;  // exit status, or 128 + the signal that ended it
    std::string err;
    long peakKb = 0;  // largest resident size
};

inline long residentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            in >> kb;
            return kb;
        }
        in.ignore(1 << 12, '\n');
    }
    return -1;  // gone
}

inline ChildResult runTern(const std::vector<std::string>& args, const ChildOptions& o = {}) {
    std::vector<std::string> all{TERN_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    ChildResult r;
    if (pipe(pipeFds) != 0) return r;
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit fsize{o.fileSizeLimit, o.fileSizeLimit}, as{o.addressSpaceLimit, o.addressSpaceLimit};
        setrlimit(RLIMIT_FSIZE, &fsize);
        setrlimit(RLIMIT_AS, &as);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (o.signal != 0) {
        if (o.signalAtResidentKb > 0) {
            for (long kb = 0; kb >= 0 && kb < o.signalAtResidentKb; kb = residentKb(pid))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            std::this_thread::sleep_for(std::chrono::duration<double>(o.signalAfterSeconds));
        }
        kill(pid, o.signal);
    }
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        r.err.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.peakKb = usage.ru_maxrss;
    return r;
}

inline std::string slurpFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Temporary files of the atomic writer left beside `path`.
inline std::size_t leftovers(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string prefix = "." + p.filename().string() + ".tmp-";
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(p.parent_path()))
        count += entry.path().filename().string().rfind(prefix, 0) == 0;
    return count;
}

}  // namespace tern::cli::test
