#include "setup/catalogues.hpp"

#include <cmath>
#include <cstdint>
#include <numbers>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"

namespace tern::setup {

namespace {

// 1-based catalogue position -> 0-based, bounds-checked.
std::size_t position(std::size_t oneBased, std::size_t size, const char* table) {
    return toIndex(static_cast<double>(oneBased), size, table);
}

constexpr double kHalfRoot2 = 0.70710678118654757;  // sqrt(1/2)
constexpr double kHalfRoot3 = 0.8660254037844386;   // sqrt(3)/2

// ---- Modulation catalogue ---------------------------------------------------

// Point numbers of the PSK entries 1 to 4; the others map values in order.
constexpr std::int32_t kMapper1[] = {0, 4};
constexpr std::int32_t kDemapper1[] = {0, 1};
constexpr std::int32_t kMapper3[] = {0, 2, 6, 4};
constexpr std::int32_t kDemapper3[] = {0, 1, 3, 2};
constexpr std::int32_t kMapper4[] = {1, 0, 2, 3, 6, 7, 5, 4};
constexpr std::int32_t kDemapper4[] = {1, 0, 2, 3, 7, 6, 4, 5};
constexpr std::int32_t kBitsToSym[kModulationEntries] = {1, 1, 2, 3, 4, 5, 6, 8};

constexpr double kPoints16[16][2] = {
    {0.866025, 0.5},
    {0.5, 0.866025},
    {1, 0},
    {0.258819, 0.258819},
    {-0.5, 0.866025},
    {0, 1},
    {-0.866025, 0.5},
    {-0.258819, 0.258819},
    {0.5, -0.866025},
    {0, -1},
    {0.866025, -0.5},
    {0.258819, -0.258819},
    {-0.866025, -0.5},
    {-0.5, -0.866025},
    {-1, 0},
    {-0.258819, -0.258819},
};

// First eight points of the 32-point set; the rest follow by the sign rule.
constexpr double kPoints32Base[8][2] = {
    {0.86638, 0.499386},  {0.984849, 0.173415}, {0.499386, 0.86638},  {0.173415, 0.984849},
    {0.520246, 0.520246}, {0.520246, 0.173415}, {0.173415, 0.520246}, {0.173415, 0.173415},
};

RealColumn toColumn(const std::int32_t* values, std::size_t n) { return RealColumn(values, values + n); }

RealColumn inOrder(std::size_t n) {
    RealColumn v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<double>(i);
    return v;
}

ComplexColumn pskPoints() {
    ComplexColumn c(8);
    for (std::size_t k = 0; k < 8; ++k) c[k] = pskPoint(k);
    return c;
}

ComplexColumn points16() {
    ComplexColumn c;
    for (const auto& p : kPoints16) c.emplace_back(p[0], p[1]);
    return c;
}

// Point i is base point (i mod 8), its real part negated when bit 3 of i is
// set and its imaginary part when bit 4 is set.
ComplexColumn points32() {
    ComplexColumn c(32);
    for (std::size_t i = 0; i < 32; ++i) {
        const auto& p = kPoints32Base[i % 8];
        c[i] = Complex((i & 8) ? -p[0] : p[0], (i & 16) ? -p[1] : p[1]);
    }
    return c;
}

// 64 points on four rings (radii 1, 3/4, 1/2, 1/4) of sixteen phases each.
// Bits 5 and 2 of the point number choose the quarter turn (1, -j, j, -1),
// bits 4-3 the ring and bits 1-0 a step of pi/8 within the quarter, so the
// axis points 1, -j, j, -1 are points 0, 4, 32, 36.
ComplexColumn points64() {
    const Complex quarter[4] = {{1, 0}, {0, -1}, {0, 1}, {-1, 0}};
    ComplexColumn c(64);
    for (std::size_t i = 0; i < 64; ++i) {
        const std::size_t turn = ((i >> 5) & 1) * 2 + ((i >> 2) & 1);
        const double radius = 1.0 - 0.25 * static_cast<double>((i >> 3) & 3);
        const std::size_t step = i & 3;
        const Complex within =
            step == 0 ? Complex(radius, 0) : std::polar(radius, static_cast<double>(step) * std::numbers::pi / 8);
        c[i] = within * quarter[turn];
    }
    return c;
}

// 256 points: the square grid of odd multiples of 0.056433 (spacing
// 0.112866) within the unit circle (232 points; six per corner fall
// outside), then 24 points beyond the grid along the axes, each with one
// coordinate 0.998304 or 0.959366 in magnitude: along every half axis
// (0.998304, +-g), (0.959366, +-3g) and (0.959366, +-y) with y on the circle.
ComplexColumn points256() {
    constexpr double g = 0.056433;
    ComplexColumn c;
    c.reserve(256);
    for (int u = 0; u < 16; ++u)
        for (int v = 0; v < 16; ++v) {
            const Complex z((2 * u - 15) * g, (2 * v - 15) * g);
            if (std::abs(z) <= 1.0) c.push_back(z);
        }
    const double outer = 0.959366;
    const Complex beyond[6] = {{0.998304, g},
                               {0.998304, -g},
                               {outer, 3 * g},
                               {outer, -3 * g},
                               {outer, std::sqrt(1.0 - outer * outer)},
                               {outer, -std::sqrt(1.0 - outer * outer)}};
    const Complex quarter[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    for (const Complex& q : quarter)
        for (const Complex& b : beyond) c.push_back(b * q);
    return c;
}

// ---- Code catalogue ---------------------------------------------------------

struct CodeRow {
    std::int32_t repetition;
    std::string_view mask7;  // top row first
    std::string_view mask9;
};
constexpr CodeRow kCodes[kCodeEntries] = {
    {1, "11", "11"},
    {2, "1110", "1110"},
    {2, "1111", "1111"},
    {3, "111111", "111111"},
    {4, "11111111", "11111111"},
    {6, "111111111111", "111111111111"},
    {8, "1111111111111111", "1111111111111111"},
    {1, "1110", "1110"},
    {2, "11101100", "11101100"},
    {2, "10111111", "10111111"},
    {1, "111001", "111010"},
    {1, "11101010", "11100110"},
    {1, "1110011001", "1101101001"},
    {1, "1110101001100101", "1110100101010101"},
    {1, "111010100110101001", "111010010101100110"},
    {1, "111111110111101111", "111111110111101111"},
    {0, "0", "0"},
};

RealColumn maskColumn(std::string_view digits) {
    RealColumn m(digits.size());
    for (std::size_t i = 0; i < digits.size(); ++i) m[i] = digits[i] == '1' ? 1.0 : 0.0;
    return m;
}

constexpr std::int32_t kPolynomials[2][2] = {{133, 171}, {561, 753}};

// ---- Interleaver catalogues -------------------------------------------------

constexpr std::int32_t kInterleaver[kInterleaverRows][kModes][3] = {
    {{4, 1088, 136}, {16, 4352, 544}, {64, 17408, 2176}, {256, 69632, 8704}},
    {{4, 1088, 272}, {16, 4352, 1088}, {64, 17408, 4352}, {256, 69632, 17408}},
    {{2, 1632, 544}, {8, 6528, 2176}, {32, 26112, 8704}, {128, 104448, 34816}},
    {{2, 1632, 1088}, {8, 6528, 4352}, {32, 26112, 17408}, {128, 104448, 69632}},
    {{1, 2176, 1632}, {4, 8704, 6528}, {16, 34816, 26112}, {64, 139264, 104448}},
    {{1, 4352, 3264}, {4, 17408, 13056}, {16, 69632, 52224}, {64, 278528, 208896}},
    {{1, 6528, 4896}, {4, 26112, 19584}, {16, 104448, 78336}, {64, 417792, 313344}},
    {{1, 8704, 6528}, {4, 34816, 26112}, {16, 139264, 104448}, {64, 557056, 417792}},
    {{1, 10880, 8160}, {4, 43520, 32640}, {16, 174080, 130560}, {64, 696320, 522240}},
    {{1, 13056, 9792}, {4, 52224, 39168}, {16, 208896, 156672}, {64, 835584, 626688}},
    {{1, 11520, 10240}, {4, 46080, 40960}, {16, 184320, 163840}, {64, 737280, 655360}},
    {{1, 15360, 12800}, {4, 61440, 51200}, {16, 245760, 204800}, {64, 983040, 819200}},
};

constexpr std::int32_t kIncrement[kIncrementRows][kModes] = {
    {0, 81, 289, 1153},          {137, 545, 2177, 8739},     {137, 545, 2177, 8739},      {205, 817, 3265, 13159},
    {205, 817, 3265, 13159},     {273, 1089, 4353, 17681},   {545, 2177, 8705, 35361},    {817, 3265, 13873, 53041},
    {1089, 4353, 18497, 70721},  {1361, 5441, 23123, 88403}, {1633, 6529, 27745, 106081}, {1441, 5761, 24481, 93601},
    {1921, 7681, 32641, 124801},
};

// ---- Walsh chips and preamble sequences -------------------------------------

constexpr std::int32_t kWalsh[4][4] = {{1, 1, 1, 1}, {1, -1, 1, -1}, {1, 1, -1, -1}, {1, -1, -1, 1}};

constexpr std::string_view kTlc =
    "2400621461057341261707322232463663754756740261530424645254531545"
    "6510710105352245406414033003373427444034764262035322452003503266"
    "1423613033242265536765665254233357553704704162355626463407005215"
    "4345705376664560204234407662003305242245466632103260624064133536";
constexpr std::string_view kDowncount =
    "5522025671351565370403321303162606412563537426730201750615032252"
    "5234276115215403550314050306003161447705701510131507122271250332"
    "2045131353175271315624606100362732476413660300754512150310466105"
    "2632742401707051457204435277451446330515543203047451557762435224";
constexpr std::string_view kIdentification =
    "2303733014465545620566535522123611431051033030446256172620047235"
    "2716504162154350341321615704766047666623507031512053245667735160"
    "1445606724403720014071745455533205131534154144224307415714725566"
    "1656302577443446072200210036640243452637757307007262261437650654";
static_assert(kTlc.size() == kSequenceLength && kDowncount.size() == kSequenceLength &&
              kIdentification.size() == kSequenceLength);

// exp(-j*2*pi*k/12) for k = 0..11, written out exactly.
constexpr double kTwelfths[12][2] = {
    {1, 0},  {kHalfRoot3, -0.5}, {0.5, -kHalfRoot3}, {0, -1}, {-0.5, -kHalfRoot3}, {-kHalfRoot3, -0.5},
    {-1, 0}, {-kHalfRoot3, 0.5}, {-0.5, kHalfRoot3}, {0, 1},  {0.5, kHalfRoot3},   {kHalfRoot3, 0.5},
};

}  // namespace

Complex pskPoint(std::size_t k) {
    static constexpr double kPsk[8][2] = {{1, 0},  {kHalfRoot2, kHalfRoot2},   {0, 1},  {-kHalfRoot2, kHalfRoot2},
                                          {-1, 0}, {-kHalfRoot2, -kHalfRoot2}, {0, -1}, {kHalfRoot2, -kHalfRoot2}};
    const std::size_t i = position(k + 1, 8, "the 8-PSK points");
    return {kPsk[i][0], kPsk[i][1]};
}

ModulationEntry modulationEntry(std::size_t entry) {
    const std::size_t e = position(entry, kModulationEntries, "the modulation catalogue");
    ModulationEntry m;
    m.bitsToSym = kBitsToSym[e];
    const std::size_t values = std::size_t{1} << kBitsToSym[e];
    switch (e + 1) {
        case 1:
        case 2:
            m.mapper = toColumn(kMapper1, 2);
            m.demapper = toColumn(kDemapper1, 2);
            m.constellation = pskPoints();
            break;
        case 3:
            m.mapper = toColumn(kMapper3, 4);
            m.demapper = toColumn(kDemapper3, 4);
            m.constellation = pskPoints();
            break;
        case 4:
            m.mapper = toColumn(kMapper4, 8);
            m.demapper = toColumn(kDemapper4, 8);
            m.constellation = pskPoints();
            break;
        default:
            m.mapper = inOrder(values);
            m.demapper = inOrder(values);
            m.constellation = e + 1 == 5 ? points16() : e + 1 == 6 ? points32() : e + 1 == 7 ? points64() : points256();
            break;
    }
    return m;
}

CodeEntry codeEntry(std::size_t entry) {
    const CodeRow& row = kCodes[position(entry, kCodeEntries, "the code catalogue")];
    return {static_cast<double>(row.repetition), maskColumn(row.mask7), maskColumn(row.mask9)};
}

RealColumn generatorPolynomials(double codLength) {
    const auto& row = kPolynomials[codLength == 9 ? 1 : 0];
    return {static_cast<double>(row[0]), static_cast<double>(row[1])};
}

InterleaverCell interleaverCell(std::size_t row, std::size_t mode) {
    const auto& cell = kInterleaver[position(row, kInterleaverRows, "the interleaver catalogue")]
                                   [position(mode, kModes, "the interleaver catalogue")];
    return {static_cast<double>(cell[0]), static_cast<double>(cell[1]), static_cast<double>(cell[2])};
}

double interleaverIncrement(std::size_t row, std::size_t mode) {
    return kIncrement[position(row, kIncrementRows, "the increment catalogue")]
                     [position(mode, kModes, "the increment catalogue")];
}

double walshChip(std::size_t d, std::size_t chip) {
    return kWalsh[position(d + 1, 4, "preambleWalshMapper")][position(chip + 1, 4, "preambleWalshMapper")];
}

std::array<unsigned char, kSequenceLength> sequenceDigits(PreambleSequence which) {
    const std::string_view text = which == PreambleSequence::Tlc         ? kTlc
                                  : which == PreambleSequence::Downcount ? kDowncount
                                                                         : kIdentification;
    std::array<unsigned char, kSequenceLength> digits{};
    for (std::size_t i = 0; i < kSequenceLength; ++i) digits[i] = static_cast<unsigned char>(text[i] - '0');
    return digits;
}

Complex probeBase(std::size_t i) {
    const std::size_t at = position(i + 1, kProbePeriod, "the probe base");
    const std::size_t k = (at / 12) * (at % 12) % 12;
    return {kTwelfths[k][0], kTwelfths[k][1]};
}

}  // namespace tern::setup
