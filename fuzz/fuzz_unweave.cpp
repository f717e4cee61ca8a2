// ternUnweave with any values and an edited waveform parameter record.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "receive/receive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    fuzz::editRecord(in, milstd, 4);
    RealColumn values;
    if (in.flag()) {
        values = fuzz::column<double>(in);
    } else {  // whole blocks of bits
        const double blocks = in.byte() % 3;
        const double total = blocks * milstd.interLength;
        if (total >= 0 && total <= 1e6) values.assign(static_cast<std::size_t>(total), 1.0);
    }
    fuzz::run([&] {
        const UnweaveOut out = ternUnweave(values, milstd);
        if (!out.out.empty() && out.out.size() != values.size()) fuzz::finding("ternUnweave", "length changed");
    });
    return 0;
}
