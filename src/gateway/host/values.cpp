#include "gateway/host/values.hpp"

#include <algorithm>
#include <cstring>

namespace tern::host {

namespace {

enum class Numeric { Real, Complex };

std::string boundText(char letter, std::size_t bound) {
    return bound == kAnyLength ? std::string() : ", " + std::string(1, letter) + " at most " + std::to_string(bound);
}

// What a value of the declared kind, shape and bound looks like, in words.
std::string expectation(Numeric numeric, Shape shape, std::size_t bound) {
    const std::string kind = numeric == Numeric::Real ? "a real double" : "a complex double";
    switch (shape) {
        case Shape::Scalar: return kind + " scalar (1-by-1)";
        case Shape::Column: return kind + " column vector (N-by-1" + boundText('N', bound) + ")";
        case Shape::Row: return kind + " row vector (1-by-N" + boundText('N', bound) + ")";
        case Shape::Matrix: return kind + " matrix";
        case Shape::Text: break;
    }
    return "a character row (1-by-N" + boundText('N', bound) + ")";
}

bool fitsShape(std::size_t rows, std::size_t cols, Shape shape, std::size_t bound) {
    const auto within = [bound](std::size_t n) { return bound == kAnyLength || n <= bound; };
    switch (shape) {
        case Shape::Scalar: return rows == 1 && cols == 1;
        case Shape::Column: return cols == 1 && within(rows);
        case Shape::Row: return rows == 1 && within(cols);
        case Shape::Matrix: return true;
        case Shape::Text: break;
    }
    return false;
}

// Checks class, complexity, shape and bound of a numeric value; returns its
// number of elements.
std::size_t checkNumeric(const mxArray* value, const ValueName& name, Numeric numeric, Shape shape, std::size_t bound) {
    const auto fail = [&] { raiseInvalid(name, expectation(numeric, shape, bound), value); };
    if (value == nullptr || !mxIsDouble(value) || mxIsSparse(value)) fail();
    if (numeric == Numeric::Real && mxIsComplex(value)) fail();
    if (mxGetNumberOfDimensions(value) != 2) fail();
    const std::size_t rows = mxGetM(value);
    const std::size_t cols = mxGetN(value);
    if (!fitsShape(rows, cols, shape, bound)) fail();
    return rows * cols;
}

const double* realData(const mxArray* value) { return mxGetPr(value); }

// Copies n complex elements out of a host array; a real host array (the
// host drops all-zero imaginary parts) reads as zero imaginary parts.
void readComplex(const mxArray* value, Complex* out, std::size_t n) {
    if (n == 0) return;
    if (!mxIsComplex(value)) {
        const double* re = realData(value);
        for (std::size_t i = 0; i < n; ++i) out[i] = Complex(re[i], 0.0);
        return;
    }
    const double* re = mxGetPr(value);
    const double* im = mxGetPi(value);
    for (std::size_t i = 0; i < n; ++i) out[i] = Complex(re[i], im[i]);
}

void writeComplex(mxArray* target, const Complex* in, std::size_t n) {
    if (n == 0) return;
    double* re = mxGetPr(target);
    double* im = mxGetPi(target);
    for (std::size_t i = 0; i < n; ++i) {
        re[i] = in[i].real();
        im[i] = in[i].imag();
    }
}

// Rows and columns of an exported vector of n elements.
std::pair<std::size_t, std::size_t> vectorDims(std::size_t n, Shape shape) {
    return shape == Shape::Row ? std::pair<std::size_t, std::size_t>{1, n} : std::pair<std::size_t, std::size_t>{n, 1};
}

mxArray* createDouble(std::size_t rows, std::size_t cols, bool complex) {
    return requireCreated(
        mxCreateDoubleMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(cols), complex ? mxCOMPLEX : mxREAL),
        "a result array");
}

std::string joined(const std::vector<const char*>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ", ") + std::string(names[i]);
    return text;
}

}  // namespace

mxArray* requireCreated(mxArray* array, std::string_view what) {
    if (array == nullptr) raiseRunTime(id::OutOfMemory, "Out of memory creating " + std::string(what) + ".");
    return array;
}

std::string describe(const mxArray* value) {
    if (value == nullptr) return "no value";
    const mwSize ndims = mxGetNumberOfDimensions(value);
    const mwSize* dims = mxGetDimensions(value);
    std::string text = "a ";
    for (mwSize d = 0; d < ndims; ++d) text += (d == 0 ? "" : "-by-") + std::to_string(dims[d]);
    if (mxIsSparse(value)) text += " sparse";
    if (mxIsComplex(value)) text += " complex";
    text += " ";
    text += mxGetClassName(value);
    text += " array";
    return text;
}

void raiseInvalid(const ValueName& name, std::string_view expected, const mxArray* value) {
    raiseRunTime(id::InvalidArgument, "Input '" + name.path + "' of " + std::string(name.entry) + " must be " +
                                          std::string(expected) + "; got " + describe(value) + ".");
}

void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, double& out) {
    checkNumeric(value, name, Numeric::Real, shape, bound);
    out = realData(value)[0];
}

void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, RealColumn& out) {
    const std::size_t n = checkNumeric(value, name, Numeric::Real, shape, bound);
    out.resize(n);
    if (n != 0) std::copy(realData(value), realData(value) + n, out.begin());
}

void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, ComplexColumn& out) {
    const std::size_t n = checkNumeric(value, name, Numeric::Complex, shape, bound);
    out.resize(n);
    readComplex(value, out.data(), n);
}

bool isNoneValue(const mxArray* value) {
    return value != nullptr && mxIsDouble(value) && !mxIsSparse(value) && !mxIsComplex(value) &&
           mxGetNumberOfDimensions(value) == 2 && mxGetM(value) == 0 && mxGetN(value) == 0;
}

void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, ComplexMatrix& out) {
    const std::size_t n = checkNumeric(value, name, Numeric::Complex, shape, bound);
    out.rows = mxGetM(value);
    out.cols = mxGetN(value);
    out.data.resize(n);
    readComplex(value, out.data.data(), n);
}

void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, std::string& out) {
    const auto fail = [&] { raiseInvalid(name, expectation(Numeric::Real, shape, bound), value); };
    if (value == nullptr || !mxIsChar(value) || mxGetNumberOfDimensions(value) != 2) fail();
    const std::size_t rows = mxGetM(value);
    const std::size_t cols = mxGetN(value);
    // The host writes an empty text '' as 0-by-0; it is the empty row.
    const bool emptyText = rows == 0 && cols == 0;
    if (!emptyText && !fitsShape(rows, cols, Shape::Row, bound)) fail();
    if (emptyText || cols == 0) {
        out.clear();
        return;
    }
    char* text = mxArrayToString(value);
    if (text == nullptr) raiseRunTime(id::OutOfMemory, "Out of memory reading the text '" + name.path + "'.");
    try {
        out.assign(text);
    } catch (...) {
        mxFree(text);
        throw;
    }
    mxFree(text);
}

void checkRecord(const mxArray* value, const ValueName& name, const std::vector<const char*>& names) {
    const std::string expected = "a 1-by-1 struct with exactly the fields " + joined(names) + ", in this order";
    if (value == nullptr || !mxIsStruct(value) || mxGetNumberOfDimensions(value) != 2 || mxGetM(value) != 1 ||
        mxGetN(value) != 1)
        raiseInvalid(name, expected, value);

    const int count = mxGetNumberOfFields(value);
    std::vector<const char*> present;
    present.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) present.push_back(mxGetFieldNameByNumber(value, i));
    const auto contains = [](const std::vector<const char*>& list, const char* field) {
        return std::any_of(list.begin(), list.end(), [field](const char* n) { return std::strcmp(n, field) == 0; });
    };

    std::string problem;
    for (const char* field : names)
        if (problem.empty() && !contains(present, field)) problem = "field '" + std::string(field) + "' is missing";
    for (const char* field : present)
        if (problem.empty() && !contains(names, field)) problem = "field '" + std::string(field) + "' is not expected";
    for (std::size_t i = 0; problem.empty() && i < names.size(); ++i)
        if (std::strcmp(names[i], present[i]) != 0)
            problem = "field " + std::to_string(i + 1) + " is '" + present[i] + "' where '" + names[i] + "' belongs";
    if (!problem.empty())
        raiseRunTime(id::InvalidArgument, "Input '" + name.path + "' of " + std::string(name.entry) + " must be " +
                                              expected + "; " + problem + ".");
}

mxArray* exportValue(double value, Shape) { return requireCreated(mxCreateDoubleScalar(value), "a result scalar"); }

mxArray* exportValue(const RealColumn& value, Shape shape) {
    const auto [rows, cols] = vectorDims(value.size(), shape);
    mxArray* array = createDouble(rows, cols, false);
    if (!value.empty()) std::copy(value.begin(), value.end(), mxGetPr(array));
    return array;
}

mxArray* exportValue(const ComplexColumn& value, Shape shape) {
    const auto [rows, cols] = vectorDims(value.size(), shape);
    mxArray* array = createDouble(rows, cols, true);
    writeComplex(array, value.data(), value.size());
    return array;
}

mxArray* exportValue(const ComplexMatrix& value, Shape) {
    if (value.data.size() != value.rows * value.cols)
        raiseRunTime(id::DimensionMismatch, "A result matrix does not hold rows times columns elements.");
    mxArray* array = createDouble(value.rows, value.cols, true);
    writeComplex(array, value.data.data(), value.data.size());
    return array;
}

mxArray* exportValue(const std::string& value, Shape) {
    return requireCreated(mxCreateString(value.c_str()), "a result text");
}

}  // namespace tern::host
