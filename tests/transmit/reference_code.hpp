// Test-side reference of the punctured tail-biting code, written from the
// step-by-step description and independent of the production encoder.
#pragma once

#include <cmath>
#include <vector>

#include "gateway/types.hpp"

namespace tern::testref {

// The code exactly as written out step by step: the block followed by its
// first K − 1 bits, an FIR filter from zero state per tap row reduced modulo
// 2, the first K − 1 outputs dropped, the rows serialised position by
// position, zero padding to whole mask periods, the kept bits of every
// period, and the first ceil(N/R) of them.
inline RealColumn referenceEncode(const RealColumn& in, const RealMatrix& t, const RealColumn& mask) {
    const std::size_t n = in.size(), k = t.cols, rows = t.rows;
    RealColumn x = in;
    for (std::size_t j = 0; j + 1 < k; ++j) x.push_back(in[j]);
    std::vector<RealColumn> y(rows, RealColumn(n));
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t tt = k - 1; tt < x.size(); ++tt) {
            double acc = 0;
            for (std::size_t c = 0; c < k; ++c) acc += t(i, c) * x[tt - c];
            y[i][tt - (k - 1)] = std::fmod(acc, 2.0);
        }
    RealColumn s;
    for (std::size_t tt = 0; tt < n; ++tt)
        for (std::size_t i = 0; i < rows; ++i) s.push_back(y[i][tt]);
    double kept = 0;
    for (double v : mask) kept += v;
    bool puncture = kept < static_cast<double>(mask.size());
    if (puncture) {
        while (s.size() % mask.size() != 0) s.push_back(0);
        RealColumn p;
        for (std::size_t i = 0; i < s.size(); ++i)
            if (mask[i % mask.size()] == 1) p.push_back(s[i]);
        s = p;
    }
    const double rate = (static_cast<double>(mask.size()) / static_cast<double>(rows)) / kept;
    s.resize(static_cast<std::size_t>(std::ceil(static_cast<double>(n) / rate)));
    return s;
}

}  // namespace tern::testref
