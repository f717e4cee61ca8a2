// ternSetup from an edited configuration record; also int2bin and bin2int
// with any values and any bit count.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "setup/bits.hpp"
#include "setup/ternSetup.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    switch (in.byte() % 4) {
        case 0: {
            const RealColumn x = fuzz::column<double>(in, 512);
            const double n = in.around(8);
            fuzz::run([&] { int2bin(x, n); });
            break;
        }
        case 1: {
            const RealColumn x = fuzz::column<double>(in, 512);
            const double n = in.around(3);
            fuzz::run([&] { bin2int(x, n); });
            break;
        }
        default: {
            // The larger interleavers only now and then: their tables are long.
            static const char* kModes[] = {"ultrashort", "short", "medium", "long"};
            VarMilstd config;
            config.modointer = kModes[fuzz::realisticMode(in.byte())];
            config.N_fixa = in.flag() ? 9 : 1;
            config.M = config.N_fixa == 1 ? 1 : 1 + in.byte() % 32;
            config.N_tlc = in.byte();
            config.codLength = in.flag() ? 9 : 7;
            config.nFrames = 1;
            config.seed = 0;
            fuzz::editRecord(in, config, 4);
            fuzz::run([&] { ternSetup(config); });
            break;
        }
    }
    return 0;
}
