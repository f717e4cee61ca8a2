// Conversion between host values (mxArray) and the chain's own types.
//
// One importer and one exporter for every kind of value the entry points
// exchange: real scalars, real and complex columns (or rows), complex
// matrices, character rows and records. Records are walked through their
// field tables (forEachField), so no field is ever named by hand here.
//
// Import checks, in order: class (double, or char for text, or struct for a
// record), complexity, shape, bound; a record is checked as a whole (1-by-1,
// exactly its field set in its order) before any field is imported, and each
// field is then imported under the name "record.field". A field may itself be
// a record (imported and exported the same way, "record.field.inner"). A failed check throws
// a tern::Failure naming the argument; the host value is never changed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "gateway/failure.hpp"
#include "gateway/records.hpp"
#include "gateway/types.hpp"
#include "mex.h"

// Complex host arrays are read and written as separate real and imaginary
// parts (the host's long-standing complex interface, the same in both hosts).
#if MX_HAS_INTERLEAVED_COMPLEX
#error "Build the host modules with the separate complex interface (mex -R2017b)."
#endif

namespace tern::host {

// Owns a host array until it is handed over (release) or destroyed.
class HostArray {
public:
    HostArray() = default;
    explicit HostArray(mxArray* array) : array_(array) {}
    ~HostArray() {
        if (array_ != nullptr) mxDestroyArray(array_);
    }
    HostArray(HostArray&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
    HostArray& operator=(HostArray&& other) noexcept {
        if (this != &other) {
            if (array_ != nullptr) mxDestroyArray(array_);
            array_ = std::exchange(other.array_, nullptr);
        }
        return *this;
    }
    HostArray(const HostArray&) = delete;
    HostArray& operator=(const HostArray&) = delete;

    mxArray* get() const { return array_; }
    mxArray* release() { return std::exchange(array_, nullptr); }

private:
    mxArray* array_ = nullptr;
};

// Creates a host array and fails with the out-of-memory failure when the host
// cannot provide it (a null result).
mxArray* requireCreated(mxArray* array, std::string_view what);

// The name under which a value is reported ("ternSend", "milstd.mapper").
struct ValueName {
    std::string_view entry;  // entry point
    std::string path;        // argument or record.field
};

// "a 1-by-3 single array", "a 2-by-2 complex double array", ...
std::string describe(const mxArray* value);

[[noreturn]] void raiseInvalid(const ValueName& name, std::string_view expected, const mxArray* value);

// The host's empty value [] (a 0-by-0 real double), which stands for "none"
// where an input may be left out.
bool isNoneValue(const mxArray* value);

// ---- import of the plain kinds ---------------------------------------------
void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, double& out);
void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, RealColumn& out);
void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, ComplexColumn& out);
void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, ComplexMatrix& out);
void importValue(const mxArray* value, const ValueName& name, Shape shape, std::size_t bound, std::string& out);

// ---- export of the plain kinds ---------------------------------------------
mxArray* exportValue(double value, Shape shape);
mxArray* exportValue(const RealColumn& value, Shape shape);
mxArray* exportValue(const ComplexColumn& value, Shape shape);
mxArray* exportValue(const ComplexMatrix& value, Shape shape);
mxArray* exportValue(const std::string& value, Shape shape);

// ---- records -----------------------------------------------------------------

// Checks a record value as a whole: a 1-by-1 struct with exactly `names`, in
// that order. Nothing of the record is imported before this passes.
void checkRecord(const mxArray* value, const ValueName& name, const std::vector<const char*>& names);

template <Record R>
void importValue(const mxArray* value, const ValueName& name, Shape, std::size_t, R& out) {
    checkRecord(value, name, fieldNames<R>());
    forEachField(out, [&](const char* field, auto& member, Shape shape, std::size_t bound) {
        const ValueName fieldName{name.entry, name.path + "." + field};
        importValue(mxGetField(value, 0, field), fieldName, shape, bound, member);
    });
}

template <Record R>
mxArray* exportValue(const R& record, Shape) {
    HostArray result(requireCreated(mxCreateStructMatrix(1, 1, 0, nullptr), "result record"));
    forEachField(record, [&](const char* field, const auto& member, Shape shape, std::size_t) {
        HostArray value(exportValue(member, shape));
        const int index = mxAddField(result.get(), field);
        if (index < 0)
            raiseRunTime(id::OutOfMemory, std::string("Out of memory adding the result field '") + field + "'.");
        mxSetFieldByNumber(result.get(), 0, index, value.release());
    });
    return result.release();
}

}  // namespace tern::host
