// Test-only module: the transmitter and channel cores fed with given draws.
//   r = ternReplay('ternSend', U, N, milstd, nframe, seed)
//   r = ternReplay('ternFade', U, N, WattersonIn, varWatterson, varShapping)
// U and N are the uniform and normal draws the host generator makes after
// rng(seed, 'twister') (the host keeps separate uniform and normal streams);
// the cores take them in order from a replaying RandomSource, so that the
// result must equal the module's, which draws from the host itself.
#include <cstring>
#include <memory>

#include "channel/ternFade.hpp"
#include "gateway/host/values.hpp"
#include "transmit/ternSend.hpp"

namespace {

using namespace tern;

class ReplaySource final : public RandomSource {
public:
    ReplaySource(RealColumn uniform, RealColumn normal) : uniform_(std::move(uniform)), normal_(std::move(normal)) {}
    std::unique_ptr<GeneratorSettings> seed(double seed) override {
        toSeed(seed);
        return std::make_unique<GeneratorSettings>();
    }
    void uniform(double* out, std::size_t n) override { take(uniform_, nextUniform_, out, n); }
    void normal(double* out, std::size_t rows, std::size_t cols) override {
        take(normal_, nextNormal_, out, rows * cols);
    }
    void restore(const GeneratorSettings&) override {}

private:
    static void take(const RealColumn& pool, std::size_t& next, double* out, std::size_t n) {
        if (n > pool.size() - next) raiseRunTime("tern:test:replayExhausted", "Not enough replayed draws.");
        std::memcpy(out, pool.data() + next, n * sizeof(double));
        next += n;
    }
    RealColumn uniform_, normal_;
    std::size_t nextUniform_ = 0, nextNormal_ = 0;
};

template <class T>
T input(const mxArray* value, const char* name, Shape shape = Shape::Scalar) {
    T out{};
    host::importValue(value, host::ValueName{"ternReplay", name}, shape, kAnyLength, out);
    return out;
}

mxArray* replay(int nrhs, const mxArray* prhs[]) {
    std::string which;
    host::importValue(prhs[0], host::ValueName{"ternReplay", "which"}, Shape::Text, 20, which);
    ReplaySource source(input<RealColumn>(prhs[1], "U", Shape::Column), input<RealColumn>(prhs[2], "N", Shape::Column));
    if (which == "ternSend" && nrhs == 6)
        return host::exportValue(ternSend(input<Milstd>(prhs[3], "milstd"), input<double>(prhs[4], "nframe"),
                                          input<double>(prhs[5], "seed"), source),
                                 Shape::Scalar);
    if (which == "ternFade" && nrhs == 6)
        return host::exportValue(
            ternFade(input<ComplexColumn>(prhs[3], "WattersonIn", Shape::Column),
                     input<VarWatterson>(prhs[4], "varWatterson"), input<VarShapping>(prhs[5], "varShapping"), source),
            Shape::Scalar);
    raiseRunTime("tern:test:usage", "usage: ternReplay('ternSend'|'ternFade', U, N, ...three inputs)");
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    (void)nlhs;
    static char message[2048];
    bool failed = false;
    if (nrhs < 3) mexErrMsgIdAndTxt("tern:test:usage", "usage: ternReplay(which, U, N, ...)");
    try {
        plhs[0] = replay(nrhs, prhs);
    } catch (const std::exception& e) {
        std::strncpy(message, e.what(), sizeof message - 1);
        failed = true;
    }
    if (failed) mexErrMsgIdAndTxt("tern:test:replay", "%s", message);
}
