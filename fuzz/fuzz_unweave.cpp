// ternUnweave with any values and an edited waveform parameter record.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "receive/receive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    fuzz::editRecord(in, milstd, 4);
    const RealColumn values = fuzz::blockValues(in, milstd, 2);
    fuzz::run([&] {
        const UnweaveOut out = ternUnweave(values, milstd);
        if (!out.out.empty() && out.out.size() != values.size()) fuzz::finding("ternUnweave", "length changed");
    });
    return 0;
}
