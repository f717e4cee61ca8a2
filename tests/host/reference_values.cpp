// Host-free reference values for the host tests: runs the deterministic
// cores (setup, shaping, matched filter, frame lock, timing, demultiplexer,
// demodulator, deinterleaver, soft demodulator, decoder, and the channel
// estimate, equaliser, receiver, soft-in soft-out decoder and interleaver
// of soft values) on fixed inputs
// and writes every input and result to an Octave text file (load-able with
// `load`), each value written with 17 significant digits so that it reads
// back exactly.
//   tern_host_reference <file>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "equalize/equalize.hpp"
#include "equalize/estimate.hpp"
#include "equalize/interleave.hpp"
#include "equalize/receiver.hpp"
#include "equalize/siso.hpp"
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
    void write(const std::string& name, const ComplexMatrix& v, Shape) {
        out_ << "# name: " << name << "\n# type: complex matrix\n# rows: " << v.rows << "\n# columns: " << v.cols
             << "\n";
        for (std::size_t r = 0; r < v.rows; ++r) {
            for (std::size_t c = 0; c < v.cols; ++c)
                out_ << " (" << number(v(r, c).real()) << "," << number(v(r, c).imag()) << ")";
            out_ << "\n";
        }
        out_ << "\n";
    }

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
                burst.push_back(milstd.constellation[static_cast<std::size_t>(
                    random.nextUniform() * static_cast<double>(milstd.constellation.size()))]);
            burst.insert(burst.end(), milstd.probeFrame.begin(), milstd.probeFrame.end());
        }
        file.write("burst", burst, Shape::Column);

        const ShapeOut shaped =
            ternShape(burst, shapping.rolloffFactor, shapping.pulseDelay, shapping.oversamplingFactor);
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
        for (std::size_t k = 0; k < soft.size(); ++k)
            soft[k] = 1.0 - 2.0 * sent.CodOutInterIn[k] + 0.4 * random.nextNormal();
        file.write("decode_in", soft, Shape::Column);
        file.record("decode", ternDecode(soft, milstd));

        // The channel-correcting receiver on the timing output above (no
        // channel, no noise), the equaliser also with priors, and the soft
        // decoder and interleaver of soft values on the inputs above.
        const ChannelEstimate estimate = ternEstimate(timing.out, milstd, shapping);
        file.record("estimate", estimate);
        file.record("equalize", ternEqualize(timing.out, milstd, shapping, estimate));
        RealColumn prior(split.out.size() * static_cast<std::size_t>(milstd.bitsToSym));
        for (double& p : prior) p = 2.0 * random.nextNormal();
        file.write("equalize_prior", prior, Shape::Column);
        file.record("equalizeprior", ternEqualize(timing.out, milstd, shapping, estimate, prior));
        // The receiver on a burst of the transmitter long enough for two
        // interleaver blocks, without a channel.
        const SendOut longer = ternSend(milstd, 2, 13, payload);
        const ComplexColumn filtered =
            ternMatch(
                ternShape(longer.MultiplexOut, shapping.rolloffFactor, shapping.pulseDelay, shapping.oversamplingFactor)
                    .out,
                shapping.rolloffFactor, shapping.pulseDelay, shapping.oversamplingFactor)
                .out;
        const RealColumn lock = ternFrameLock(filtered, milstd, shapping);
        const ComplexColumn receiveIn = ternTiming(filtered, lock.empty() ? 1.0 : lock[0], shapping).out;
        file.write("receive_in", receiveIn, Shape::Column);
        file.write("receive_payload", longer.BitInCodIn, Shape::Column);
        for (const char* equalizer : {"lmmse", "turbo"}) {
            const VarReceiver varReceiver{equalizer, 2, 0, 1};
            const ReceiveOut received = ternReceive(receiveIn, milstd, shapping, varReceiver);
            file.record(std::string("receive_") + equalizer, received);
            file.record(std::string("receive_") + equalizer + "_estimate", received.estimate);
        }
        file.record("siso", decodeSiso(soft, milstd));
        file.record("interleave", interleaveValues(bits, milstd));
        if (!file.good()) throw std::runtime_error("cannot write the reference file");
    } catch (const std::exception& e) {
        std::cerr << "tern_host_reference: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
