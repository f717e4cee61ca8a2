// Host-free reference values for the host tests: runs the deterministic
// cores (setup, shaping, matched filter, frame lock, timing, demultiplexer,
// demodulator, deinterleaver, soft demodulator, decoder) on fixed inputs
// and writes every input and result to an Octave text file (load-able with
// `load`), each value written with 17 significant digits so that it reads
// back exactly.
//   tern_host_reference <file>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "filters/filters.hpp"
#include "gateway/random.hpp"
#include "gateway/records.hpp"
#include "receive/receive.hpp"
#include "receive/ternDecode.hpp"
#include "receive/ternSoftDetect.hpp"
#include "setup/ternSetup.hpp"
#include "sync/sync.hpp"
#include "transmit/ternSend.hpp"

namespace {

using namespace tern;

std::string number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

class OctaveText {
public:
    explicit OctaveText(const std::string& path) : out_(path) {}
    bool good() const { return out_.good(); }

    void write(const std::string& name, double v, Shape) {
        out_ << "# name: " << name << "\n# type: scalar\n" << number(v) << "\n\n";
    }
    void write(const std::string& name, const std::string& v, Shape) {
        out_ << "# name: " << name << "\n# type: string\n# elements: 1\n# length: " << v.size() << "\n" << v << "\n\n";
    }
    void write(const std::string& name, const RealColumn& v, Shape shape) {
        header(name, "matrix", v.size(), shape);
        for (double x : v) out_ << " " << number(x) << (shape == Shape::Row ? "" : "\n");
        out_ << "\n\n";
    }
    void write(const std::string& name, const ComplexColumn& v, Shape shape) {
        header(name, "complex matrix", v.size(), shape);
        for (const Complex& x : v)
            out_ << " (" << number(x.real()) << "," << number(x.imag()) << ")" << (shape == Shape::Row ? "" : "\n");
        out_ << "\n\n";
    }
    void write(const std::string&, const ComplexMatrix&, Shape) {}  // no such reference value

    template <class R>
    void record(const std::string& prefix, const R& r) {
        forEachField(r, [&](const char* field, const auto& member, Shape shape, std::size_t) {
            write(prefix + "_" + field, member, shape);
        });
    }

private:
    void header(const std::string& name, const char* type, std::size_t n, Shape shape) {
        const bool row = shape == Shape::Row;
        out_ << "# name: " << name << "\n# type: " << type << "\n# rows: " << (row ? 1 : n)
             << "\n# columns: " << (row ? n : 1) << "\n";
    }
    std::ofstream out_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tern_host_reference <file>\n";
        return 2;
    }
    try {
        OctaveText file(argv[1]);
        const VarMilstd config{"short", 1, 2, 1, 7, 1, 0};
        const VarShapping shapping{0.35, 4, 5};
        file.record("varmilstd", config);
        file.record("varShapping", shapping);

        const Milstd milstd = ternSetup(config);
        file.record("setup", milstd);

        // A burst laid out as the transmitter lays it out (preamble, probe,
        // then frames of data symbols each followed by a probe), with data
        // symbols drawn from the constellation.
        Mt19937Source random(20260101u);
        ComplexColumn burst = milstd.preambleFrame;
        burst.insert(burst.end(), milstd.probeFrame.begin(), milstd.probeFrame.end());
        for (int frame = 0; frame < 3; ++frame) {
            for (std::size_t k = 0; k < static_cast<std::size_t>(milstd.dataLength); ++k)
                burst.push_back(milstd.constellation[static_cast<std::size_t>(random.nextUniform() *
                                                                             static_cast<double>(milstd.constellation.size()))]);
            burst.insert(burst.end(), milstd.probeFrame.begin(), milstd.probeFrame.end());
        }
        file.write("burst", burst, Shape::Column);

        const ShapeOut shaped = ternShape(burst, shapping.rolloffFactor, shapping.pulseDelay, shapping.oversamplingFactor);
        file.record("shape", shaped);
        const MatchOut matched =
            ternMatch(shaped.out, shapping.rolloffFactor, shapping.pulseDelay, shapping.oversamplingFactor);
        file.record("match", matched);
        const RealColumn start = ternFrameLock(matched.out, milstd, shapping);
        file.write("framelock", start, Shape::Column);
        const TimingOut timing = ternTiming(matched.out, start.empty() ? 1.0 : start[0], shapping);
        file.record("timing", timing);
        const SplitOut split = ternSplit(timing.out, milstd);
        file.record("split", split);
        const DetectOut detect = ternDetect(split.out, milstd);
        file.record("detect", detect);
        file.write("softdetect_N0", 0.5, Shape::Scalar);
        file.record("softdetect", ternSoftDetect(split.out, milstd, 0.5));

        RealColumn bits(2 * static_cast<std::size_t>(milstd.interLength));
        for (double& b : bits) b = random.nextUniform() < 0.5 ? 0.0 : 1.0;
        file.write("unweave_in", bits, Shape::Column);
        file.record("unweave", ternUnweave(bits, milstd));

        // Two encoded blocks as +-1 values (positive for 0) with Gaussian
        // noise, and what the decoder makes of them.
        Mt19937Source payload(7u);
        const SendOut sent = ternSend(milstd, 2, 11, payload);
        file.write("decode_payload", sent.BitInCodIn, Shape::Column);
        file.write("decode_coded", sent.CodOutInterIn, Shape::Column);
        RealColumn soft(sent.CodOutInterIn.size());
        for (std::size_t k = 0; k < soft.size(); ++k) soft[k] = 1.0 - 2.0 * sent.CodOutInterIn[k] + 0.4 * random.nextNormal();
        file.write("decode_in", soft, Shape::Column);
        file.record("decode", ternDecode(soft, milstd));
        if (!file.good()) throw std::runtime_error("cannot write the reference file");
    } catch (const std::exception& e) {
        std::cerr << "tern_host_reference: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
