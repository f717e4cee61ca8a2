// The probe marks of the transmitter (probe_marks.hpp).
#include "transmit/probe_marks.hpp"

#include "gateway/checks.hpp"
#include "transmit/columns.hpp"

namespace tern::transmit {

ProbeMarks::ProbeMarks(const Milstd& m, std::size_t burst) {
    const std::size_t preamble = wholeCount(m.preambleLength, "milstd.preambleLength");
    data_ = wholeCount(m.dataLength, "milstd.dataLength");
    probe_ = wholeCount(m.probeLength, "milstd.probeLength");
    const double blocks =
        (static_cast<double>(burst) - m.preambleLength - m.probeLength) / (m.probeLength + m.dataLength);
    blocks_ = wholeCount(blocks, "the number of frames behind the preamble");
    requireAllocatable(data_ + probe_, "the frame pattern");
    lead_ = preamble + probe_;
    marks_ = lead_ + checkedProduct(blocks_, data_ + probe_, "milstd.ProbeInfo");
    requireAllocatable(marks_, "the probe marks");
}

RealColumn ProbeMarks::execute() const {
    RealColumn marks = columnFor<double>(marks_, "the probe marks");
    marks.insert(marks.end(), lead_, 1.0);
    for (std::size_t b = 0; b < blocks_; ++b) {
        marks.insert(marks.end(), data_, 0.0);
        marks.insert(marks.end(), probe_, 1.0);
    }
    return marks;
}

}  // namespace tern::transmit
