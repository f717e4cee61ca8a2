// MAT-file (version 5) writer for the chain's records. One generic writer
// walks a record's field table (forEachField) and stores the record as a
// 1-by-1 struct with the same field names, classes and shapes the host
// modules hand out: doubles, complex where the field is complex, columns
// N-by-1, rows 1-by-N, text as a character row.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <matio.h>

#include "cli/atomic_file.hpp"

#include "gateway/records.hpp"

namespace tern::cli {

struct MatVarFree {
    void operator()(matvar_t* v) const { Mat_VarFree(v); }
};
using MatVarPtr = std::unique_ptr<matvar_t, MatVarFree>;

// One field value as a MAT variable of the given layout.
MatVarPtr makeMatVar(const char* name, double value, Shape shape);
MatVarPtr makeMatVar(const char* name, const std::string& value, Shape shape);
MatVarPtr makeMatVar(const char* name, const RealColumn& value, Shape shape);
MatVarPtr makeMatVar(const char* name, const ComplexColumn& value, Shape shape);
MatVarPtr makeMatVar(const char* name, const RealMatrix& value, Shape shape);
MatVarPtr makeMatVar(const char* name, const ComplexMatrix& value, Shape shape);

// Checks that the uncompressed MAT file at `path` is whole: a 128-byte
// header, then `variables` elements whose lengths run exactly to the end of
// the file. Returns what is wrong, empty when nothing is.
std::string checkMatLayout(const std::string& path, std::size_t variables);

class MatWriter {
public:
    // Starts the file: it is written to a temporary file beside `path` and
    // takes the place of any file there only at close(). CommandError when
    // it cannot be created.
    explicit MatWriter(std::string path);
    ~MatWriter();
    MatWriter(const MatWriter&) = delete;
    MatWriter& operator=(const MatWriter&) = delete;

    // Stores `record` as the struct variable `name`, one field per entry of
    // its field table, in the table's order.
    template <class Record>
    void writeRecord(const std::string& name, const Record& record) {
        std::vector<MatVarPtr> fields;
        forEachField(record, [&](const char* field, const auto& member, Shape shape, std::size_t) {
            fields.push_back(makeMatVar(field, member, shape));
        });
        writeStruct(name, std::move(fields));
    }

    // Stores a plain real column (N-by-1, possibly 0-by-1) as variable `name`.
    void writeColumn(const std::string& name, const RealColumn& column);

    // Finishes the file: closes it, checks that every variable is there in
    // full, flushes it to the disk and renames it into place. CommandError
    // when any of it fails; then nothing is left at the path. A writer
    // destroyed before close() removes its temporary file.
    void close();

    // Leaves the file unwritten: the temporary file is removed.
    void abandon() noexcept;

private:
    void writeStruct(const std::string& name, std::vector<MatVarPtr> fields);
    void writeVar(matvar_t* var);
    void fail(const std::string& what);

    std::string path_;
    AtomicFile target_;
    mat_t* file_ = nullptr;
    std::size_t variables_ = 0;  // written so far
};

}  // namespace tern::cli
