#include "equalize/receiver.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "equalize/equalize.hpp"
#include "equalize/interleave.hpp"
#include "equalize/siso.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "receive/receive.hpp"
#include "receive/ternDecode.hpp"

namespace tern {

namespace {

constexpr double kMaxPasses = 20;
// The whole interleaver blocks at the start of a column of ratios.
RealColumn wholeBlocks(const RealColumn& values, std::size_t block) {
    return RealColumn(values.begin(),
                      values.begin() + static_cast<std::ptrdiff_t>(values.size() - values.size() % block));
}

}  // namespace

void checkVarReceiver(const VarReceiver& r) {
    if (r.equalizer != "lmmse" && r.equalizer != "turbo")
        raiseOwn("ERRO! Equalizador desconhecido: varReceiver.equalizer deve ser \"lmmse\" ou \"turbo\".");
    if (!(isWhole(r.passes) && r.passes >= 0 && r.passes <= kMaxPasses))
        raiseOwn("ERRO! varReceiver.passes deve ser um número inteiro de 0 a 20.");
    if (!(std::isfinite(r.doppler) && r.doppler >= 0))
        raiseOwn("ERRO! varReceiver.doppler deve ser um número finito não negativo (Hz; 0 para estimar).");
    if (!(r.tracking == 0 || r.tracking == 1)) raiseOwn("ERRO! varReceiver.tracking deve ser 0 ou 1.");
}

namespace {

// The receiver on `SymbolsIn`, with its own channel estimate and tracking
// when `known` is null, else on the channel `known` throughout.
ReceiveOut receiveBurst(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                        const VarReceiver& varReceiver, const ChannelEstimate* known) {
    checkVarReceiver(varReceiver);
    const std::size_t block = toSize(milstd.interLength, "of an interleaver block (milstd.interLength)");
    if (block == 0) raiseOwn("ERRO! milstd.interLength deve ser positivo.");
    const std::size_t bits = toSize(milstd.bitsToSym, "the bits per symbol milstd.bitsToSym");
    const std::size_t frameBits =
        checkedProduct(toSize(milstd.dataLength, "of a data frame (milstd.dataLength)"), bits, "a frame's bits");

    ReceiveOut out;
    out.estimate = known != nullptr ? *known : ternEstimate(SymbolsIn, milstd, varShapping, varReceiver.doppler);
    EqualizeOut eq = ternEqualize(SymbolsIn, milstd, varShapping, out.estimate);
    RealColumn channel = eq.LLROut;  // transmission order, all whole frames
    RealColumn coded = ternUnweave(wholeBlocks(channel, block), milstd).out;

    if (varReceiver.equalizer == "turbo" && !coded.empty()) {
        const std::size_t blocks = coded.size() / block;
        const std::size_t frames = frameBits > 0 ? channel.size() / frameBits : 0;
        std::vector<bool> settled(blocks, false);
        RealColumn previous;
        const auto passes = static_cast<std::size_t>(varReceiver.passes);
        for (std::size_t pass = 0; pass < passes; ++pass) {
            const SisoOut siso = decodeSiso(coded, milstd);
            // Blocks whose decisions did not change since the last pass.
            const std::size_t info = blocks > 0 ? siso.DecodOut.size() / blocks : 0;
            if (!previous.empty())
                for (std::size_t b = 0; b < blocks; ++b)
                    settled[b] =
                        settled[b] || std::equal(siso.DecodOut.begin() + static_cast<std::ptrdiff_t>(b * info),
                                                 siso.DecodOut.begin() + static_cast<std::ptrdiff_t>((b + 1) * info),
                                                 previous.begin() + static_cast<std::ptrdiff_t>(b * info));
            previous = siso.DecodOut;
            if (std::all_of(settled.begin(), settled.end(), [](bool s) { return s; })) break;

            RealColumn prior = interleaveValues(siso.ExtrinsicLLR, milstd).out;
            prior.resize(channel.size(), 0.0);  // frames past the last whole block carry no prior
            std::vector<bool> skip(frames, false);
            for (std::size_t f = 0; f < frames; ++f) {
                const std::size_t b = f * frameBits / block;
                skip[f] = b >= blocks || settled[b];
            }
            // The gains are fitted again to the symbols the decoder's extrinsic
            // ratios expect, not to the a-posteriori ones: those also hold the
            // equaliser's own ratios, made with the estimate being refitted,
            // so where a common fade made them wrong they would confirm the
            // wrong estimate pass after pass (on "muito_ruim" the tracked
            // gains then left the true ones for good).
            if (varReceiver.tracking == 1 && known == nullptr) {
                // The same soft symbols are the equaliser's priors (the same
                // values it would make of the ratios itself).
                const SoftSymbols soft = ternSoftSymbols(prior, milstd);
                out.estimate =
                    ternTrack(SymbolsIn, milstd, varShapping, out.estimate, soft.mean, soft.var, varReceiver.doppler);
                eq = ternEqualize(SymbolsIn, milstd, varShapping, out.estimate, soft, skip);
            } else {
                eq = ternEqualize(SymbolsIn, milstd, varShapping, out.estimate, prior, skip);
            }
            for (std::size_t f = 0; f < frames; ++f)
                if (!skip[f])
                    std::copy(eq.LLROut.begin() + static_cast<std::ptrdiff_t>(f * frameBits),
                              eq.LLROut.begin() + static_cast<std::ptrdiff_t>((f + 1) * frameBits),
                              channel.begin() + static_cast<std::ptrdiff_t>(f * frameBits));
            coded = ternUnweave(wholeBlocks(channel, block), milstd).out;
            out.passes = static_cast<double>(pass + 1);
        }
    }
    out.DecodOut = ternDecode(coded, milstd).DecodOut;
    out.LLROut = std::move(coded);
    return out;
}

}  // namespace

ReceiveOut ternReceive(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                       const VarReceiver& varReceiver) {
    return receiveBurst(SymbolsIn, milstd, varShapping, varReceiver, nullptr);
}

ReceiveOut ternReceive(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                       const VarReceiver& varReceiver, const ChannelEstimate& channel) {
    return receiveBurst(SymbolsIn, milstd, varShapping, varReceiver, &channel);
}

}  // namespace tern
