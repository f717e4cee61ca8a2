#include "python/convert.hpp"

#include <algorithm>
#include <complex>
#include <memory>

namespace tern::python {

namespace {

enum class Numeric { Real, Complex };

// numpy's own reading of a value as an array (a new reference, or null with
// the Python error set), reached through pybind11's table of numpy's API.
PyObject* arrayFrom(PyObject* value) {
    auto& api = py::detail::npy_api::get();
    return api.PyArray_FromAny_(value, nullptr, 0, 0, py::detail::npy_api::NPY_ARRAY_ENSUREARRAY_, nullptr);
}

bool isNumpyScalar(PyObject* value) {
    static PyObject* generic = py::object(py::module_::import("numpy").attr("generic")).release().ptr();
    return PyObject_IsInstance(value, generic) == 1;
}

std::string boundText(std::size_t bound) {
    return bound == kAnyLength ? std::string() : " (N at most " + std::to_string(bound) + ")";
}

// What a value of the declared kind, shape and bound looks like, in words.
std::string expectation(Numeric numeric, Shape shape, std::size_t bound) {
    const std::string kind = numeric == Numeric::Real ? "real" : "complex";
    const std::string numbers = numeric == Numeric::Real ? "ints or floats" : "ints, floats or complex numbers";
    switch (shape) {
        case Shape::Scalar: return "a real number (float or int)";
        case Shape::Column:
            return "a " + kind + " column: a list, a 1-D array or an (N, 1) array of " + numbers + boundText(bound);
        case Shape::Row:
            return "a " + kind + " row: a list, a 1-D array or a (1, N) array of " + numbers + boundText(bound);
        case Shape::Matrix: return "a " + kind + " 2-D array";
        case Shape::Text: break;
    }
    return "a str" + (bound == kAnyLength ? std::string() : " of at most " + std::to_string(bound) + " characters");
}

std::string shapeText(const py::array& a) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < a.ndim(); ++d) text += (d == 0 ? "" : ", ") + std::to_string(a.shape(d));
    return text + (a.ndim() == 1 ? ",)" : ")");
}

std::string arrayText(const py::array& a) {
    return shapeText(a) + " " + py::str(a.dtype()).cast<std::string>() + " array";
}

std::string typeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

[[noreturn]] void refuse(bool typeError, const ValueName& name, std::string_view expected, const std::string& got) {
    const std::string text = "Input '" + name.path + "' of " + std::string(name.entry) + " must be " +
                             std::string(expected) + "; got " + got + ".";
    if (typeError) throw py::type_error(text);
    throw py::value_error(text);
}

// Number kinds an input may hold: ints and floats, and complex numbers for
// a complex input. Booleans, text and objects are no numbers here.
bool acceptedKind(char kind, Numeric numeric) {
    return kind == 'i' || kind == 'u' || kind == 'f' || (numeric == Numeric::Complex && kind == 'c');
}

// The value as an array of numbers of an accepted kind (a list or tuple read
// by numpy), refused with a TypeError otherwise.
py::array numbersOf(py::handle value, const ValueName& name, Numeric numeric, Shape shape, std::size_t bound) {
    const std::string expected = expectation(numeric, shape, bound);
    const bool isArray = py::isinstance<py::array>(value);
    if (!isArray && !PyList_Check(value.ptr()) && !PyTuple_Check(value.ptr()))
        refuse(true, name, expected, value.is_none() ? "None" : "a value of type '" + typeName(value) + "'");
    py::array a;
    if (isArray) {
        a = py::reinterpret_borrow<py::array>(value);
    } else {
        // numpy reads the sequence; a ragged one it cannot read is a wrong shape.
        PyObject* read = arrayFrom(value.ptr());
        if (read == nullptr) {
            PyErr_Clear();
            refuse(false, name, expected, "a " + typeName(value) + " that is no rectangular array of numbers");
        }
        a = py::reinterpret_steal<py::array>(read);
    }
    if (!acceptedKind(a.dtype().kind(), numeric))
        refuse(true, name, expected, (isArray ? "a " : "a " + typeName(value) + " read as a ") + arrayText(a));
    return a;
}

// The number of elements of a numeric vector of this shape and bound.
std::size_t vectorLength(const py::array& a, py::handle value, const ValueName& name, Numeric numeric, Shape shape,
                         std::size_t bound) {
    py::ssize_t n = -1;
    if (a.ndim() == 1 || (a.ndim() == 2 && shape == Shape::Column && a.shape(1) == 1))
        n = a.shape(0);
    else if (a.ndim() == 2 && shape == Shape::Row && a.shape(0) == 1)
        n = a.shape(1);
    if (n < 0 || (bound != kAnyLength && static_cast<std::size_t>(n) > bound))
        refuse(false, name, expectation(numeric, shape, bound),
               (py::isinstance<py::array>(value) ? "a " : "a " + typeName(value) + " read as a ") + arrayText(a));
    return static_cast<std::size_t>(n);
}

// Copies the elements of `a` (any accepted kind, any strides) as T into `out`:
// numpy converts and lays them out contiguously when they are not already.
template <class T>
void copyElements(const py::array& a, std::size_t n, std::vector<T>& out) {
    using api = py::detail::npy_api;
    const int flags = api::NPY_ARRAY_C_CONTIGUOUS_ | api::NPY_ARRAY_ALIGNED_ | api::NPY_ARRAY_FORCECAST_;
    // numpy takes over the reference to the type; a failure (memory) leaves its error set.
    PyObject* read = api::get().PyArray_FromAny_(a.ptr(), py::dtype::of<T>().release().ptr(), 0, 0, flags, nullptr);
    if (read == nullptr) throw py::error_already_set();
    const py::array contiguous = py::reinterpret_steal<py::array>(read);
    const T* data = static_cast<const T*>(contiguous.data());
    out.assign(data, data + n);  // one pass: no zero-filling first
}

// A 1-D array that owns `column` (moved in): no copy of the elements.
template <class T>
py::array ownedArray(std::vector<T>& column, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides) {
    if (column.empty()) return py::array_t<T>(shape);
    auto owner = std::make_unique<std::vector<T>>(std::move(column));
    T* data = owner->data();
    py::capsule release(owner.get(), [](void* p) { delete static_cast<std::vector<T>*>(p); });
    static_cast<void>(owner.release());  // the capsule owns the column now
    return py::array_t<T>(std::move(shape), std::move(strides), data, release);
}

}  // namespace

std::string describe(py::handle value) {
    if (value.ptr() == nullptr || value.is_none()) return "None";
    if (py::isinstance<py::array>(value)) return "a " + arrayText(py::reinterpret_borrow<py::array>(value));
    return "a value of type '" + typeName(value) + "'";
}

void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, double& out) {
    const std::string expected = expectation(Numeric::Real, shape, bound);
    PyObject* p = value.ptr();
    if (PyFloat_Check(p)) {
        out = PyFloat_AsDouble(p);
        return;
    }
    if (PyLong_Check(p) && !PyBool_Check(p)) {
        out = PyLong_AsDouble(p);
        if (out == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            refuse(false, name, expected, "an int too large for a float");
        }
        return;
    }
    // numpy scalars and one-element arrays of an accepted kind.
    const bool numpyScalar = isNumpyScalar(p);
    if (!numpyScalar && !py::isinstance<py::array>(value)) refuse(true, name, expected, describe(value));
    const py::array a =
        numpyScalar ? py::reinterpret_steal<py::array>(arrayFrom(p)) : py::reinterpret_borrow<py::array>(value);
    if (!a) throw py::error_already_set();
    if (!acceptedKind(a.dtype().kind(), Numeric::Real)) refuse(true, name, expected, describe(value));
    if (a.size() != 1) refuse(false, name, expected, describe(value));
    std::vector<double> one;
    copyElements(a, 1, one);
    out = one[0];
}

void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, RealColumn& out) {
    const py::array a = numbersOf(value, name, Numeric::Real, shape, bound);
    copyElements(a, vectorLength(a, value, name, Numeric::Real, shape, bound), out);
}

void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, ComplexColumn& out) {
    const py::array a = numbersOf(value, name, Numeric::Complex, shape, bound);
    copyElements(a, vectorLength(a, value, name, Numeric::Complex, shape, bound), out);
}

void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, std::string& out) {
    const std::string expected = expectation(Numeric::Real, Shape::Text, bound);
    if (!PyUnicode_Check(value.ptr())) refuse(true, name, expected, describe(value));
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (text == nullptr) {
        PyErr_Clear();
        refuse(false, name, expected, "a str that is not valid Unicode");
    }
    if (bound != kAnyLength && static_cast<std::size_t>(PyUnicode_GetLength(value.ptr())) > bound)
        refuse(false, name, expected, "a str of " + std::to_string(PyUnicode_GetLength(value.ptr())) + " characters");
    (void)shape;
    out.assign(text, static_cast<std::size_t>(size));
}

void importValue(py::handle value, const ValueName& name, Shape shape, std::size_t bound, ComplexMatrix& out) {
    const py::array a = numbersOf(value, name, Numeric::Complex, shape, bound);
    if (a.ndim() != 2)
        refuse(false, name, expectation(Numeric::Complex, Shape::Matrix, bound),
               (py::isinstance<py::array>(value) ? "a " : "a " + typeName(value) + " read as a ") + arrayText(a));
    // Column-major, as the record keeps it: numpy lays the elements out so.
    using api = py::detail::npy_api;
    const int flags = api::NPY_ARRAY_F_CONTIGUOUS_ | api::NPY_ARRAY_ALIGNED_ | api::NPY_ARRAY_FORCECAST_;
    PyObject* read =
        api::get().PyArray_FromAny_(a.ptr(), py::dtype::of<Complex>().release().ptr(), 0, 0, flags, nullptr);
    if (read == nullptr) throw py::error_already_set();
    const py::array ordered = py::reinterpret_steal<py::array>(read);
    out.rows = static_cast<std::size_t>(a.shape(0));
    out.cols = static_cast<std::size_t>(a.shape(1));
    const Complex* data = static_cast<const Complex*>(ordered.data());
    out.data.assign(data, data + out.rows * out.cols);
}

void checkRecord(py::handle value, const ValueName& name, const std::vector<const char*>& names) {
    std::string expected = "a dict with exactly the fields ";
    for (std::size_t i = 0; i < names.size(); ++i) expected += (i == 0 ? "" : ", ") + std::string(names[i]);
    if (!PyDict_Check(value.ptr())) refuse(true, name, expected, describe(value));
    const py::dict record = py::reinterpret_borrow<py::dict>(value);
    for (const char* field : names)
        if (PyDict_GetItemString(value.ptr(), field) == nullptr)
            refuse(false, name, expected, "a dict where the field '" + std::string(field) + "' is missing");
    if (static_cast<std::size_t>(PyDict_Size(value.ptr())) == names.size()) return;  // all there, none more
    for (const auto item : record) {
        const bool known =
            PyUnicode_Check(item.first.ptr()) && std::any_of(names.begin(), names.end(), [&](const char* field) {
                return PyUnicode_CompareWithASCIIString(item.first.ptr(), field) == 0;
            });
        if (!known)
            refuse(false, name, expected,
                   "a dict with the field " + py::repr(item.first).cast<std::string>() + ", which is not expected");
    }
}

py::object exportValue(double& value, Shape) { return py::float_(value); }

py::object exportValue(RealColumn& value, Shape) {
    const auto n = static_cast<py::ssize_t>(value.size());
    return ownedArray(value, {n}, {static_cast<py::ssize_t>(sizeof(double))});
}

py::object exportValue(ComplexColumn& value, Shape) {
    const auto n = static_cast<py::ssize_t>(value.size());
    return ownedArray(value, {n}, {static_cast<py::ssize_t>(sizeof(Complex))});
}

py::object exportValue(ComplexMatrix& value, Shape) {
    if (value.data.size() != value.rows * value.cols)
        throw std::logic_error("A result matrix does not hold rows times columns elements.");
    // Column-major storage is numpy's Fortran order: the array shares it.
    const auto rows = static_cast<py::ssize_t>(value.rows);
    const auto cols = static_cast<py::ssize_t>(value.cols);
    const auto item = static_cast<py::ssize_t>(sizeof(Complex));
    return ownedArray(value.data, {rows, cols}, {item, item * rows});
}

py::object exportValue(std::string& value, Shape) {
    return py::reinterpret_steal<py::object>(
        PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "replace"));
}

std::string pythonKind(const double&, Shape, std::size_t) { return "float"; }

std::string pythonKind(const RealColumn&, Shape, std::size_t bound) { return "1-D float64 array" + boundText(bound); }

std::string pythonKind(const ComplexColumn&, Shape, std::size_t bound) {
    return "1-D complex128 array" + boundText(bound);
}

std::string pythonKind(const ComplexMatrix&, Shape, std::size_t) { return "(L, 2) complex128 array"; }

std::string pythonKind(const std::string&, Shape, std::size_t bound) {
    return "str" + (bound == kAnyLength ? std::string() : " (at most " + std::to_string(bound) + " characters)");
}

}  // namespace tern::python
