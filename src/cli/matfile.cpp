#include "cli/matfile.hpp"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "cli/inputs.hpp"
#include "gateway/interrupt.hpp"

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

MatWriter::MatWriter(std::string path) : path_(std::move(path)), target_(path_) {
    target_.handOver();  // the MAT-file library writes the temporary file by name
    file_ = Mat_CreateVer(target_.temporaryPath().c_str(), nullptr, MAT_FT_MAT5);
    if (file_ == nullptr) target_.fail("the MAT-file library cannot create it");
}

// A writer left without close() was abandoned half-way by a failure: its
// temporary file goes, and whatever was at the path stays.
MatWriter::~MatWriter() { abandon(); }

void MatWriter::abandon() noexcept {
    if (file_ != nullptr) {
        Mat_Close(file_);
        file_ = nullptr;
    }
    target_.discard();
}

void MatWriter::fail(const std::string& what) {
    if (file_ != nullptr) {
        Mat_Close(file_);
        file_ = nullptr;
    }
    target_.fail("cannot write " + what);
}

void MatWriter::writeVar(matvar_t* var) {
    if (file_ == nullptr) throw CommandError("the MAT file " + path_ + " is already closed");
    pollInterrupt();  // a stop between variables abandons the file (the destructor removes it)
    if (Mat_VarWrite(file_, var, MAT_COMPRESSION_NONE) != 0) fail(std::string("the variable ") + var->name);
    ++variables_;
}

void MatWriter::writeStruct(const std::string& name, std::vector<MatVarPtr> fields) {
    std::vector<const char*> names;
    names.reserve(fields.size() + 1);
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
    if (file_ == nullptr) target_.fail("the file was closed already");
    const int status = Mat_Close(file_);
    file_ = nullptr;
    if (status != 0) target_.fail("the MAT-file library could not finish it");
    // The library does not report every failed write (a full disk, a
    // file-size limit), so the file is read back: its elements must follow
    // each other to its very end, one per variable written.
    const std::string problem = checkMatLayout(target_.temporaryPath(), variables_);
    if (!problem.empty()) target_.fail(problem);
    target_.commit();
}

std::string checkMatLayout(const std::string& path, std::size_t variables) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "it cannot be read back";
    std::fseek(file, 0, SEEK_END);
    const long end = std::ftell(file);
    unsigned char header[128];
    std::fseek(file, 0, SEEK_SET);
    std::string problem;
    if (end < 128 || std::fread(header, 1, sizeof header, file) != sizeof header) {
        problem = "its header is incomplete";
    } else if (header[126] != 'I' || header[127] != 'M') {
        problem = "its header is not a MAT-file header of this machine";
    } else {
        std::size_t count = 0;
        long offset = 128;
        while (offset < end) {
            std::uint32_t tag[2];
            std::fseek(file, offset, SEEK_SET);
            if (end - offset < 8 || std::fread(tag, sizeof tag[0], 2, file) != 2) {
                problem = "it ends inside a variable's header";
                break;
            }
            const long length = static_cast<long>((static_cast<std::uint64_t>(tag[1]) + 7) / 8 * 8);
            if (length > end - offset - 8) {
                problem = "it ends inside variable " + std::to_string(count + 1) + " of " + std::to_string(variables) +
                          " (is the disk full, or a file-size limit met?)";
                break;
            }
            offset += 8 + length;
            ++count;
        }
        if (problem.empty() && count != variables)
            problem = "only " + std::to_string(count) + " of its " + std::to_string(variables) +
                      " variables reached the disk (is it full, or a file-size limit met?)";
    }
    std::fclose(file);
    return problem;
}

}  // namespace tern::cli
