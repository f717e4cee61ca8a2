#include "gateway/host/random_host.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/host/host_call.hpp"
#include "gateway/host/values.hpp"

namespace tern::host {

namespace {

// The settings the host handed back when the generator was seeded.
class HostSettings final : public GeneratorSettings {
public:
    explicit HostSettings(HostArray value) : value_(std::move(value)) {}
    mxArray* value() const { return value_.get(); }

private:
    HostArray value_;
};

// Text of one field or property of the exception value the host returns
// for a failed call (a struct in one host, an MException object in another).
std::string exceptionText(const mxArray* exception, const char* field) {
    const mxArray* text = nullptr;
    HostArray owned;
    if (mxIsStruct(exception)) {
        text = mxGetField(exception, 0, field);
    } else {
        owned = HostArray(mxGetProperty(exception, 0, field));
        text = owned.get();
    }
    if (text == nullptr || !mxIsChar(text)) return {};
    char* chars = mxArrayToString(text);
    if (chars == nullptr) return {};
    std::string result(chars);
    mxFree(chars);
    return result;
}

// Calls a host function with the given arguments and one output (or none:
// `outputs` 0). A failure of the host function comes back as a
// tern::Failure carrying the identifier and message of the host's exception
// value (one host reports every such failure with a generic identifier and a
// message that names the function). An interrupt that the host throws
// through the call is kept aside and ends the call (host_call.hpp).
HostArray callHost(const char* function, std::vector<mxArray*> arguments, int outputs = 1) {
    mxArray* output[1] = {nullptr};
    HostArray exception(callBack(outputs, output, static_cast<int>(arguments.size()), arguments.data(), function));
    HostArray result(output[0]);
    if (exception.get() != nullptr) {
        std::string identifier = exceptionText(exception.get(), "identifier");
        std::string message = exceptionText(exception.get(), "message");
        if (identifier.empty()) identifier = "tern:hostCallFailed";
        raiseRunTime(identifier, "The host's random generator failed in '" + std::string(function) +
                                     "': " + (message.empty() ? std::string("no message") : message));
    }
    if (outputs > 0 && result.get() == nullptr)
        raiseRunTime("tern:hostCallFailed", "The host's '" + std::string(function) + "' returned no value.");
    return result;
}

// Copies a draw of n doubles out of the host's result, after checking that
// it is what was asked for.
void copyDraw(const HostArray& draw, const char* function, double* out, std::size_t n) {
    const mxArray* value = draw.get();
    if (!mxIsDouble(value) || mxIsComplex(value) || mxIsSparse(value) || mxGetNumberOfElements(value) != n)
        raiseRunTime(id::DimensionMismatch, "The host's '" + std::string(function) + "' returned " + describe(value) +
                                                " where " + std::to_string(n) + " real doubles were asked for.");
    if (n == 0) return;
    const double* data = mxGetPr(value);
    std::copy(data, data + n, out);
}

constexpr int kRestoreAttempts = 3;

mxArray* scalar(double value) { return requireCreated(mxCreateDoubleScalar(value), "a host call argument"); }

}  // namespace

std::unique_ptr<GeneratorSettings> HostRandomSource::seed(double seed) {
    toSeed(seed);  // the same rule as the host-free generator
    HostArray value(scalar(seed));
    HostArray method(requireCreated(mxCreateString("twister"), "a host call argument"));
    HostArray previous = callHost("rng", {value.get(), method.get()});
    return std::make_unique<HostSettings>(std::move(previous));
}

void HostRandomSource::uniform(double* out, std::size_t n) {
    HostArray rows(scalar(static_cast<double>(n)));
    HostArray cols(scalar(1.0));
    copyDraw(callHost("rand", {rows.get(), cols.get()}), "rand", out, n);
}

void HostRandomSource::normal(double* out, std::size_t rows, std::size_t cols) {
    const std::size_t n = checkedProduct(rows, cols, "randn");
    HostArray r(scalar(static_cast<double>(rows)));
    HostArray c(scalar(static_cast<double>(cols)));
    copyDraw(callHost("randn", {r.get(), c.get()}), "randn", out, n);
}

void HostRandomSource::restore(const GeneratorSettings& settings) {
    const auto& saved = dynamic_cast<const HostSettings&>(settings);
    // An interrupt that the host acts on during the restoring (a second
    // Ctrl-C) would leave the generator seeded: the first one is already
    // kept, so the restoring is tried again, a few times at most.
    for (int attempt = 1;; ++attempt) {
        try {
            callHost("rng", {saved.value()}, 0);  // rng(s) gives nothing back
            return;
        } catch (const Failure& failure) {
            if (failure.identifier() != id::Interrupted || attempt == kRestoreAttempts) throw;
        }
    }
}

}  // namespace tern::host
