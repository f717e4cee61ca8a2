#include "cli/matfile.hpp"

#include <cstdio>
#include <utility>

#include "cli/inputs.hpp"

namespace tern::cli {

namespace {

// Host dimensions of a field of `n` elements laid out as `shape`.
void layout(Shape shape, std::size_t n, std::size_t dims[2]) {
    if (shape == Shape::Row || shape == Shape::Text) {
        dims[0] = 1;
        dims[1] = n;
    } else {  // Column, and a Scalar, which is a one-element column
        dims[0] = n;
        dims[1] = 1;
    }
}

MatVarPtr created(matvar_t* var, const char* name) {
    if (var == nullptr) throw CommandError(std::string("cannot build the MAT variable ") + name);
    return MatVarPtr(var);
}

// Shared kernel of every real and complex array: the data are copied by the
// library, so the caller's arrays are only read.
// An empty array is created without data: the library then neither copies
// nor frees anything.
MatVarPtr realArray(const char* name, const double* data, std::size_t dims[2]) {
    void* copied = dims[0] * dims[1] > 0 ? const_cast<double*>(data) : nullptr;
    return created(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, copied, 0), name);
}

MatVarPtr complexArray(const char* name, const Complex* data, std::size_t n, std::size_t dims[2]) {
    if (n == 0) return created(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, nullptr, MAT_F_COMPLEX), name);
    std::vector<double> re(n), im(n);
    for (std::size_t i = 0; i < n; ++i) {
        re[i] = data[i].real();
        im[i] = data[i].imag();
    }
    mat_complex_split_t split{re.data(), im.data()};
    return created(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &split, MAT_F_COMPLEX), name);
}

}  // namespace

MatVarPtr makeMatVar(const char* name, double value, Shape) {
    std::size_t dims[2] = {1, 1};
    return realArray(name, &value, dims);
}

MatVarPtr makeMatVar(const char* name, const std::string& value, Shape) {
    std::size_t dims[2] = {1, value.size()};
    std::vector<mat_uint16_t> chars(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) chars[i] = static_cast<unsigned char>(value[i]);
    return created(Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT16, 2, dims, chars.empty() ? nullptr : chars.data(), 0),
                   name);
}

MatVarPtr makeMatVar(const char* name, const RealColumn& value, Shape shape) {
    std::size_t dims[2];
    layout(shape, value.size(), dims);
    return realArray(name, value.data(), dims);
}

MatVarPtr makeMatVar(const char* name, const ComplexColumn& value, Shape shape) {
    std::size_t dims[2];
    layout(shape, value.size(), dims);
    return complexArray(name, value.data(), value.size(), dims);
}

MatVarPtr makeMatVar(const char* name, const RealMatrix& value, Shape) {
    std::size_t dims[2] = {value.rows, value.cols};
    return realArray(name, value.data.data(), dims);
}

MatVarPtr makeMatVar(const char* name, const ComplexMatrix& value, Shape) {
    std::size_t dims[2] = {value.rows, value.cols};
    return complexArray(name, value.data.data(), value.data.size(), dims);
}

MatWriter::MatWriter(std::string path) : path_(std::move(path)) {
    file_ = Mat_CreateVer(path_.c_str(), nullptr, MAT_FT_MAT5);
    if (file_ == nullptr) throw CommandError("cannot create the MAT file " + path_);
}

// A writer left without close() was abandoned half-way by a failure: the
// incomplete file is removed rather than left looking like a result.
MatWriter::~MatWriter() {
    if (file_ != nullptr) {
        Mat_Close(file_);
        std::remove(path_.c_str());
    }
}

void MatWriter::fail(const std::string& what) {
    if (file_ != nullptr) {
        Mat_Close(file_);
        file_ = nullptr;
        std::remove(path_.c_str());  // no half-written file is left behind
    }
    throw CommandError("cannot write " + what + " to " + path_);
}

void MatWriter::writeVar(matvar_t* var) {
    if (file_ == nullptr) throw CommandError("the MAT file " + path_ + " is already closed");
    if (Mat_VarWrite(file_, var, MAT_COMPRESSION_NONE) != 0) fail(std::string("variable ") + var->name);
}

void MatWriter::writeStruct(const std::string& name, std::vector<MatVarPtr> fields) {
    std::vector<const char*> names;
    for (const auto& f : fields) names.push_back(f->name);
    names.push_back(nullptr);
    std::size_t dims[2] = {1, 1};
    MatVarPtr record = created(Mat_VarCreateStruct2(name.c_str(), 2, dims, names.data()), name.c_str());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // The struct takes ownership of the field variable and hands back
        // the placeholder it held, if any.
        Mat_VarFree(Mat_VarSetStructFieldByIndex(record.get(), i, 0, fields[i].release()));
    }
    writeVar(record.get());
}

void MatWriter::writeColumn(const std::string& name, const RealColumn& column) {
    MatVarPtr var = makeMatVar(name.c_str(), column, Shape::Column);
    writeVar(var.get());
}

void MatWriter::close() {
    if (file_ == nullptr) return;
    const int status = Mat_Close(file_);
    file_ = nullptr;
    if (status != 0) {
        std::remove(path_.c_str());
        throw CommandError("cannot finish the MAT file " + path_);
    }
}

}  // namespace tern::cli
