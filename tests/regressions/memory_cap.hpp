// Runs one call in a child process whose address space is capped a given
// number of bytes above what the process already maps. A size that must be
// refused before anything is allocated is then told apart from one that is
// refused only after a large allocation (which fails under the cap and shows
// up as an out-of-memory failure). The outcome comes back as the failure's
// identifier, "result" when the call returns, or "other: ..." for anything
// else (another exception, a crash). Under the address sanitizer no cap can
// be set; the call still runs in the child, where an oversized allocation
// ends the process and so the test.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <exception>
#include <string>

#include <gtest/gtest.h>

#include "gateway/failure.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define TERN_ADDRESS_SPACE_RESERVED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TERN_ADDRESS_SPACE_RESERVED 1
#endif
#endif

namespace tern::testing {

// The address sanitizer reserves terabytes of shadow memory, so an address
// space cap cannot be applied under it.
inline bool memoryCapAvailable() {
#ifdef TERN_ADDRESS_SPACE_RESERVED
    return false;
#else
    return true;
#endif
}

inline std::size_t mappedBytes() {
    std::size_t pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%zu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

template <class F>
std::string outcomeUnderCap(std::size_t extraBytes, F&& call) {
    int channel[2];
    if (pipe(channel) != 0) return "other: no pipe";
    const pid_t child = fork();
    if (child < 0) return "other: no fork";
    if (child == 0) {
        close(channel[0]);
        std::string outcome = "result";
        const rlim_t cap = mappedBytes() + extraBytes;
        const rlimit limit{cap, cap};
        if (memoryCapAvailable() && setrlimit(RLIMIT_AS, &limit) != 0)
            outcome = "other: no cap";
        else {
            try {
                call();
            } catch (const Failure& f) {
                outcome = f.identifier().empty() ? f.message() : f.identifier();
            } catch (const std::exception& e) {
                outcome = std::string("other: ") + e.what();
            } catch (...) {
                outcome = "other: unknown exception";
            }
        }
        const ssize_t written = write(channel[1], outcome.data(), outcome.size());
        _exit(written == static_cast<ssize_t>(outcome.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string outcome;
    char buffer[256];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        outcome.append(buffer, static_cast<std::size_t>(n));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) return "other: the call ended the process";
    return outcome;
}

// 256 MB above the test's own mappings: far below any refused request.
inline constexpr std::size_t kTestCap = std::size_t{256} << 20;

}  // namespace tern::testing

// For tests whose outcome depends on the cap (an allocation that must fail).
#define TERN_REQUIRE_MEMORY_CAP()               \
    if (!::tern::testing::memoryCapAvailable()) \
    GTEST_SKIP() << "address space caps do not work under the address sanitizer"
