// The three input records of a chain run, their embedded defaults, the
// JSON configuration file, and the up-front check of every value the user
// gave, so that a bad value is refused before anything runs.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "chain/chain.hpp"
#include "gateway/records.hpp"

namespace tern::cli {

// A mistake in how the command line was used (unknown option, unreadable
// configuration file, a value outside what the command accepts). Exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure outside the modem chain (a file that cannot be written, a plot
// tool that is missing). Exit status 1.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command line drives the chain library: its records and stages are
// the command line's own vocabulary.
using namespace tern::chain;

// Overwrites the fields that a JSON file names. The file holds any of the
// objects "varmilstd", "varShapping", "varWatterson", each with any of its
// record's fields; an unknown name or a value of the wrong type is refused,
// and so is a path that cannot be read (a folder, a missing file). `given`,
// when not null, receives the fields the file holds as "record.field".
void loadConfigFile(const std::string& path, ChainInputs& inputs, std::vector<std::string>* given = nullptr);

// The inputs as the same JSON document, so that a report can be fed back.
std::string inputsToJson(const ChainInputs& inputs, int indent);

// The channel conditions: the channel's four plus, when allowed, "awgn".
const std::vector<std::string>& channelNames();
bool isFadingChannel(const std::string& model);

// Checks a channel name and its path delay against the oversampling with the
// channel's own messages, before any random number is drawn. An unknown name
// gets the channel's own text and then a line with the names taken.
void validateChannel(const std::string& model, double oversamplingFactor, bool allowAwgn);

// Es/N0 values a channel can physically have, in dB; anything else (an
// infinite or 300-digit value) is refused with one message everywhere.
inline constexpr double kMinEsnoDb = -50;
inline constexpr double kMaxEsnoDb = 200;
void checkEsno(double esnoDb);

// Checks every chain input that the cores would only meet half-way through a
// run: seeds, block count, pulse design, channel and Es/N0. Raises the
// core's own failure where the core has a check, UsageError otherwise.
// Returns the waveform record, which the check builds anyway.
Milstd validateInputs(const ChainInputs& inputs, bool checkChannel);

}  // namespace tern::cli
