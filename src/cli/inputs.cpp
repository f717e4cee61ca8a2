#include "cli/inputs.hpp"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "channel/watterson.hpp"
#include "filters/filters.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"

namespace tern::cli {

namespace {

using Json = nlohmann::json;

// Fills the fields of one record that the JSON object names, walking the
// record's own field table.
template <class Record>
void readRecord(const Json& object, const char* recordName, Record& record) {
    if (!object.is_object()) throw UsageError(std::string("configuration: \"") + recordName + "\" must be an object");
    std::set<std::string> known;
    forEachField(record, [&](const char* name, auto& member, Shape, std::size_t) {
        known.insert(name);
        const auto it = object.find(name);
        if (it == object.end()) return;
        const std::string where = std::string(recordName) + "." + name;
        using Member = std::remove_cvref_t<decltype(member)>;
        if constexpr (std::is_same_v<Member, std::string>) {
            if (!it->is_string()) throw UsageError("configuration: " + where + " must be a text");
            member = it->template get<std::string>();
        } else {
            if (!it->is_number()) throw UsageError("configuration: " + where + " must be a number");
            member = it->template get<double>();
        }
    });
    for (const auto& item : object.items())
        if (!known.count(item.key()))
            throw UsageError(std::string("configuration: unknown field \"") + item.key() + "\" in \"" + recordName +
                             "\"");
}

template <class Record>
Json writeRecord(const Record& record) {
    Json object = Json::object();
    forEachField(record, [&](const char* name, const auto& member, Shape, std::size_t) { object[name] = member; });
    return object;
}

}  // namespace

void loadConfigFile(const std::string& path, ChainInputs& inputs, std::vector<std::string>* given) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw UsageError("cannot read the configuration file " + path + ": it is a folder");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw UsageError("cannot read the configuration file " + path);
    std::string text;
    try {
        text.assign(std::istreambuf_iterator<char>(file), {});
    } catch (const std::exception&) {
        file.setstate(std::ios::badbit);
    }
    if (file.bad()) throw UsageError("cannot read the configuration file " + path);
    Json doc;
    try {
        doc = Json::parse(text);
    } catch (const Json::exception& e) {
        throw UsageError("configuration file " + path + " is not valid JSON: " + e.what());
    }
    if (!doc.is_object()) throw UsageError("configuration file " + path + " must hold one JSON object");
    for (const auto& item : doc.items()) {
        if (item.key() == "varmilstd")
            readRecord(item.value(), "varmilstd", inputs.varmilstd);
        else if (item.key() == "varShapping")
            readRecord(item.value(), "varShapping", inputs.varShapping);
        else if (item.key() == "varWatterson")
            readRecord(item.value(), "varWatterson", inputs.varWatterson);
        else
            throw UsageError("configuration: unknown record \"" + item.key() +
                             "\" (expected varmilstd, varShapping, varWatterson)");
        if (given != nullptr && item.value().is_object())
            for (const auto& field : item.value().items()) given->push_back(item.key() + "." + field.key());
    }
}

std::string inputsToJson(const ChainInputs& inputs, int indent) {
    Json doc = {{"varmilstd", writeRecord(inputs.varmilstd)},
                {"varShapping", writeRecord(inputs.varShapping)},
                {"varWatterson", writeRecord(inputs.varWatterson)}};
    return doc.dump(indent);
}

const std::vector<std::string>& channelNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all = watterson::conditionNames();
        all.emplace_back(kAwgn);
        return all;
    }();
    return names;
}

bool isFadingChannel(const std::string& model) { return watterson::findCondition(model) != nullptr; }

std::string channelChoices() {
    std::string list;
    const auto& names = channelNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return "tern: the channel conditions are " + list + " (noise only)";
}

void validateChannel(const std::string& model, double oversamplingFactor, bool allowAwgn) {
    if (allowAwgn && model == kAwgn) return;
    const watterson::Condition* condition = nullptr;
    try {
        condition = &watterson::selectCondition(model);
    } catch (const Failure& f) {
        // The channel's own text, then the names the command line takes.
        throw Failure(f.kind(), f.identifier(), f.message() + "\n" + channelChoices());
    }
    watterson::checkDelay(oversamplingFactor, condition->RER);
}

void checkEsno(double esnoDb) {
    if (esnoDb >= kMinEsnoDb && esnoDb <= kMaxEsnoDb) return;
    char text[80];
    std::snprintf(text, sizeof text, "%.6g", esnoDb);
    throw UsageError(std::string("Es/N0 ") + text +
                     " dB is outside the range of -50 to 200 dB that a channel can have");
}

Milstd validateInputs(const ChainInputs& inputs, bool checkChannel) {
    Milstd milstd = ternSetup(inputs.varmilstd);

    const double frames = inputs.varmilstd.nFrames;
    if (!isWhole(frames) || frames < 1 || frames * milstd.inputBitsPerInter > kMaxElements)
        throw UsageError("--frames must be a whole number of interleaver blocks from 1 to " +
                         std::to_string(static_cast<long long>(kMaxElements / milstd.inputBitsPerInter)) +
                         " for mode " + inputs.varmilstd.modointer);
    toSeed(inputs.varmilstd.seed);

    const VarShapping& s = inputs.varShapping;
    if (!isWhole(s.oversamplingFactor) || s.oversamplingFactor < 1 || s.oversamplingFactor > 1000)
        throw UsageError("--oversampling must be a whole number of samples per symbol from 1 to 1000");
    if (!(s.pulseDelay >= 0) || s.pulseDelay > 1000)
        throw UsageError("--pulse-delay must be a number of symbol periods from 0 to 1000");
    rrc_fir(s.rolloffFactor, s.pulseDelay, s.oversamplingFactor);  // the pulse design's own checks
    if (!(s.rolloffFactor > 0 && s.rolloffFactor <= 1)) throw UsageError("--rolloff must lie in (0, 1]");

    if (checkChannel) {
        validateChannel(inputs.varWatterson.model, s.oversamplingFactor, true);
        toSeed(inputs.varWatterson.seed);
        checkEsno(inputs.varWatterson.EsNodB);
    }
    return milstd;
}

}  // namespace tern::cli
