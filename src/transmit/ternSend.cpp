// The transmitter's modem path: random payload, punctured tail-biting code,
// interleaver, mapper, scrambler, constellation, multiplexer and probe marks.
// Each stage's checks are made by its plan's constructor (payload.hpp,
// coding_plan.hpp, symbol_plan.hpp, probe_marks.hpp) before the stage
// computes, so the refusals come in the stages' order.
#include "transmit/ternSend.hpp"

#include <cstdint>
#include <utility>
#include <vector>

#include "gateway/checks.hpp"
#include "transmit/coding_plan.hpp"
#include "transmit/payload.hpp"
#include "transmit/probe_marks.hpp"
#include "transmit/symbol_plan.hpp"

namespace tern {

namespace {

SendOut send(const Milstd& m, double nframe, double seed, RandomSource& random) {
    SendOut out;
    transmit::Payload payload = transmit::drawPayload(m.inputBitsPerInter, nframe, seed, random);
    out.BitInCodIn = std::move(payload.bits);

    // Encode and interleave, unless the rate is 1 (NaN counts as not 1).
    bool binary = payload.binary;
    std::vector<std::uint8_t> bytes;  // InterOutMapIn as bytes, when the coder gave them
    if (m.codeRate != 1.0) {
        const transmit::CodingPlan coding(m, out.BitInCodIn.size());
        bytes = coding.execute(out.BitInCodIn, out.CodOutInterIn, out.InterOutMapIn);
        binary = bytes.size() == out.InterOutMapIn.size();
    } else {
        out.CodOutInterIn = out.BitInCodIn;
        out.InterOutMapIn = out.BitInCodIn;
    }

    // Map, scramble, look up and multiplex; mark the probes.
    const transmit::SymbolPlan symbols(m, out.InterOutMapIn, binary);
    const transmit::ProbeMarks probes(m, symbols.burstLength());
    symbols.execute(out.InterOutMapIn, bytes, out);
    out.ModConstellation = m.constellation;
    out.ProbeInfo = probes.execute();
    return out;
}

}  // namespace

SendOut ternSend(const Milstd& milstd, double nframe, double seed, RandomSource& random) {
    return withMemoryGuard("ternSend", [&] { return send(milstd, nframe, seed, random); });
}

}  // namespace tern
