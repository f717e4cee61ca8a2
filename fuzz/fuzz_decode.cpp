// ternDecode with any soft values and an edited waveform parameter record.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "receive/ternDecode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    fuzz::editRecord(in, milstd, 4);
    RealColumn values;
    if (in.flag()) {
        values = fuzz::column<double>(in);
    } else {  // one block of soft values, a few of them hostile
        const double total = milstd.interLength;
        if (total >= 0 && total <= 1e5) values.assign(static_cast<std::size_t>(total), 1.0);
        for (std::size_t e = in.byte() % 8; e > 0 && !values.empty(); --e) values[in.word32() % values.size()] = in.anyValue();
    }
    fuzz::run([&] { ternDecode(values, milstd); });
    return 0;
}
