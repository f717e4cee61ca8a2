// Conversion between Python values and the chain's own types.
//
// One importer and one exporter for every kind of value the modules
// exchange, as the Octave layer has (gateway/host/values.hpp): real scalars,
// real and complex columns (or rows), complex matrices, text and records.
// Records are walked through their field tables (forEachField), so no field
// is named by hand here.
//
// Import accepts what a Python user passes: a float or int (or a numpy
// scalar or one-element array) for a scalar; a list, a tuple, a 1-D array or
// an (N, 1) array ((1, N) for a row) of ints or floats (complex too for a
// complex column) for a column; a str for text; a dict holding exactly the
// record's fields for a record. Arrays of another number type are converted
// explicitly; booleans, strings, objects and other shapes are refused with a
// TypeError (wrong kind of value) or a ValueError (wrong shape, length or
// field set) naming the module and the argument ("milstd.mapper"). The
// caller's objects are only read.
//
// Export moves each column into a numpy array that owns it (no copy): real
// columns as float64, complex ones as complex128, rows also 1-D, the L-by-2
// matrix as an (L, 2) array, scalars as float, text as str, records as dicts
// with the fields in the table's order.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gateway/records.hpp"
#include "gateway/types.hpp"

namespace tern::python {

namespace py = pybind11;

// The name under which a value is reported ("ternSend", "milstd.mapper").
struct ValueName {
    std::string_view entry;  // module
    std::string path;        // argument or argument.field
};

// "a (3, 2) float64 array", "a list read as a (2,) <U1 array", "None", ...
std::string describe(py::handle value);

// ---- import of the plain kinds ---------------------------------------------
void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, double& out);
void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, RealColumn& out);
void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, ComplexColumn& out);
void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, std::string& out);
// A 2-D array of numbers (rows by columns), as a channel estimate's gains.
void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, ComplexMatrix& out);

// ---- export of the plain kinds (the value is moved out) --------------------
py::object exportValue(double& value, Shape shape);
py::object exportValue(RealColumn& value, Shape shape);
py::object exportValue(ComplexColumn& value, Shape shape);
py::object exportValue(ComplexMatrix& value, Shape shape);
py::object exportValue(std::string& value, Shape shape);

// ---- records -----------------------------------------------------------------

// Checks a record value as a whole: a dict whose keys are exactly `names`
// (in any order). Nothing of the record is imported before this passes.
void checkRecord(py::handle value, const ValueName& name, const std::vector<const char*>& names);

template <Record R>
void importValue(py::handle value, const ValueName& name, Shape, std::size_t, R& out) {
    checkRecord(value, name, fieldNames<R>());
    forEachField(out, [&](const char* field, auto& member, Shape shape, std::size_t bound) {
        const ValueName fieldName{name.entry, name.path + "." + field};
        importValue(py::handle(PyDict_GetItemString(value.ptr(), field)), fieldName, shape, bound, member);
    });
}

template <Record R>
py::object exportValue(R& record, Shape) {
    py::dict result;
    forEachField(record, [&](const char* field, auto& member, Shape shape, std::size_t) {
        result[field] = exportValue(member, shape);
    });
    return result;
}

// A module's result: a record, or a bare column (ternFrameLock).
template <class Result>
py::object exportResult(Result& result) {
    if constexpr (Record<Result>)
        return exportValue(result, Shape::Scalar);
    else
        return exportValue(result, Shape::Column);
}

// How a field or argument of this layout is passed in Python, in words
// ("1-D float64 array (N at most 256)"), for the docstrings.
std::string pythonKind(const double&, Shape, std::size_t);
std::string pythonKind(const RealColumn&, Shape, std::size_t bound);
std::string pythonKind(const ComplexColumn&, Shape, std::size_t bound);
std::string pythonKind(const ComplexMatrix&, Shape, std::size_t);
std::string pythonKind(const std::string&, Shape, std::size_t bound);

// A record nested in a record (ternReceive's estimate): a dict of its own.
template <Record R>
std::string pythonKind(const R&, Shape, std::size_t) {
    std::string names;
    for (const char* field : fieldNames<R>()) names += (names.empty() ? "" : ", ") + std::string(field);
    return "dict with the fields " + names;
}

// One line per field of a record: "    name: kind".
template <Record R>
std::string fieldList() {
    std::string text;
    R probe{};
    forEachField(probe, [&](const char* field, auto& member, Shape shape, std::size_t bound) {
        text += "        " + std::string(field) + ": " + pythonKind(member, shape, bound) + "\n";
    });
    return text;
}

}  // namespace tern::python
