// The transmitter's probe marks (ProbeInfo) as a checked plan: the
// constructor checks the record's lengths against the burst, execute marks
// 1 at every preamble and probe position and 0 at every data position.
#pragma once

#include <cstddef>

#include "gateway/records.hpp"

namespace tern::transmit {

class ProbeMarks {
public:
    // The checks, in order: milstd.preambleLength, milstd.dataLength and
    // milstd.probeLength as counts, the whole number of frames behind the
    // preamble in a burst of `burst` symbols, the sizes of the marks.
    ProbeMarks(const Milstd& m, std::size_t burst);

    // The leading marks, then `blocks_` times `data_` zeros and `probe_` ones.
    RealColumn execute() const;

private:
    std::size_t lead_ = 0, data_ = 0, probe_ = 0, blocks_ = 0, marks_ = 0;
};

}  // namespace tern::transmit
