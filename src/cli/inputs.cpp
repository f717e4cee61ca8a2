#include "cli/inputs.hpp"

#include <cmath>
#include <fstream>
#include <set>
#include <type_traits>

#include <nlohmann/json.hpp>

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
            throw UsageError(std::string("configuration: unknown field \"") + item.key() + "\" in \"" + recordName + "\"");
}

template <class Record>
Json writeRecord(const Record& record) {
    Json object = Json::object();
    forEachField(record, [&](const char* name, const auto& member, Shape, std::size_t) { object[name] = member; });
    return object;
}

// Delay between the two paths of each fading condition, in seconds.
double pathDelay(const std::string& model) {
    if (model == "bom") return 0.0005;
    if (model == "moderado") return 0.001;
    if (model == "ruim") return 0.002;
    return 0.005;  // "muito_ruim"
}

}  // namespace

ChainInputs defaultInputs() {
    ChainInputs in;
    in.varmilstd = VarMilstd{"short", 1, 0, 9, 7, 1, 1};
    in.varShapping = VarShapping{0.35, 6, 5};
    in.varWatterson = VarWatterson{"moderado", 20, 2};
    return in;
}

void loadConfigFile(const std::string& path, ChainInputs& inputs) {
    std::ifstream file(path);
    if (!file) throw UsageError("cannot read the configuration file " + path);
    Json doc;
    try {
        doc = Json::parse(file);
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
    }
}

std::string inputsToJson(const ChainInputs& inputs, int indent) {
    Json doc = {{"varmilstd", writeRecord(inputs.varmilstd)},
                {"varShapping", writeRecord(inputs.varShapping)},
                {"varWatterson", writeRecord(inputs.varWatterson)}};
    return doc.dump(indent);
}

const std::vector<std::string>& channelNames() {
    static const std::vector<std::string> names{"bom", "moderado", "ruim", "muito_ruim", kAwgn};
    return names;
}

bool isFadingChannel(const std::string& model) {
    return model == "bom" || model == "moderado" || model == "ruim" || model == "muito_ruim";
}

void validateChannel(const std::string& model, double oversamplingFactor, bool allowAwgn) {
    if (!isFadingChannel(model) && !(allowAwgn && model == kAwgn)) raiseOwn("ERRO! Tipo de canal Watterson invalido.");
    if (model == kAwgn) return;
    const double x = oversamplingFactor * (pathDelay(model) * 19200.0);
    if (!std::isfinite(x) || x - std::floor(x) != 0)
        raiseOwn("ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.");
}

Milstd validateInputs(const ChainInputs& inputs, bool checkChannel) {
    Milstd milstd = ternSetup(inputs.varmilstd);

    const double frames = inputs.varmilstd.nFrames;
    if (!isWhole(frames) || frames < 1 || frames * milstd.inputBitsPerInter > kMaxElements)
        throw UsageError("--frames must be a whole number of interleaver blocks from 1 to " +
                         std::to_string(static_cast<long long>(kMaxElements / milstd.inputBitsPerInter)) + " for mode " +
                         inputs.varmilstd.modointer);
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
        if (!std::isfinite(inputs.varWatterson.EsNodB)) throw UsageError("--esno must be a finite number of dB");
    }
    return milstd;
}

}  // namespace tern::cli
