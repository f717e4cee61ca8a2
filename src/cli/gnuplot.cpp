#include "cli/gnuplot.hpp"

#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "cli/atomic_file.hpp"
#include "cli/inputs.hpp"

namespace tern::cli {

std::string gnuplotQuoted(const std::string& text) {
    std::string quoted;
    for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted;
}

std::string formatted(const char* pattern, double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, v);
    return buffer;
}

void drawPng(const std::string& pngPath, const std::string& option, int width, int height, const std::string& script) {
    if (pngPath.find_first_of("\r\n") != std::string::npos)
        throw UsageError(option + ": a file name with a line break cannot be handed to gnuplot");
    AtomicFile target(pngPath);
    target.handOver();
    const std::string whole = "set terminal pngcairo size " + std::to_string(width) + "," + std::to_string(height) +
                              " font ',10'\nset output '" + gnuplotQuoted(target.temporaryPath()) + "'\n" + script;

    // A plot tool that exits early must not end the program through SIGPIPE.
    // Its standard output goes nowhere: the picture goes to the file only.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    FILE* pipe = popen("gnuplot >/dev/null", "w");
    if (pipe == nullptr) {
        std::signal(SIGPIPE, previous);
        target.fail("cannot start gnuplot");
    }
    const bool sent = std::fwrite(whole.data(), 1, whole.size(), pipe) == whole.size();
    const int status = pclose(pipe);
    std::signal(SIGPIPE, previous);
    if (status != 0) {
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
            target.fail("gnuplot was not found; install it (Debian package gnuplot-nox) to draw the plot");
        target.fail("gnuplot could not draw the plot");
    }
    if (!sent) target.fail("the plot script could not be handed to gnuplot");
    if (!isWholePng(target.temporaryPath())) target.fail("gnuplot left an incomplete PNG picture");
    target.commit();
}

bool isWholePng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    static const std::string signature("\x89PNG\r\n\x1a\n", 8);
    static const std::string end("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    return bytes.size() >= signature.size() + end.size() && bytes.compare(0, signature.size(), signature) == 0 &&
           bytes.compare(bytes.size() - end.size(), end.size(), end) == 0;
}

}  // namespace tern::cli
