// Calls the command line in-process and captures what it prints.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/app.hpp"

namespace tern::cli::test {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline Outcome tern(std::vector<std::string> args) {
    args.insert(args.begin(), "tern");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    Outcome o;
    o.status = runCli(static_cast<int>(argv.size()), argv.data(), out, err);
    o.out = out.str();
    o.err = err.str();
    return o;
}

// The JSON report of `tern run --json` with the given options; the run must succeed.
inline nlohmann::json runJson(std::vector<std::string> args) {
    args.insert(args.begin(), {"run", "--json"});
    const Outcome o = tern(args);
    EXPECT_EQ(o.status, 0) << o.err;
    return nlohmann::json::parse(o.out);
}

// A file name in the tests' scratch folder, unique per test.
inline std::string scratch(const std::string& name) { return std::string(TERN_TEST_SCRATCH) + "/" + name; }

}  // namespace tern::cli::test
