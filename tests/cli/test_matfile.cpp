// MAT files: what `params --save` and `run --save` write reads back with the
// MAT-file library as exactly the records the cores returned, field by
// field, with the host's classes and shapes.
#include <gtest/gtest.h>

#include <matio.h>

#include <memory>

#include "chain/chain.hpp"
#include "cli/inputs.hpp"
#include "cli/matfile.hpp"
#include "cli_harness.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"

namespace tern::cli::test {
namespace {

struct MatCloser {
    void operator()(mat_t* m) const { Mat_Close(m); }
};

class SavedFile {
public:
    explicit SavedFile(const std::string& path) : file_(Mat_Open(path.c_str(), MAT_ACC_RDONLY)) {
        EXPECT_NE(file_, nullptr) << path;
    }
    // The struct variable `name`, read in full.
    MatVarPtr read(const std::string& name) {
        MatVarPtr v(Mat_VarRead(file_.get(), name.c_str()));
        EXPECT_NE(v, nullptr) << name;
        return v;
    }
    std::vector<std::string> names() {
        std::vector<std::string> all;
        Mat_Rewind(file_.get());
        while (matvar_t* v = Mat_VarReadNextInfo(file_.get())) {
            all.emplace_back(v->name);
            Mat_VarFree(v);
        }
        return all;
    }

private:
    std::unique_ptr<mat_t, MatCloser> file_;
};

// Compares one stored field with the record's member, layout included.
struct FieldCheck {
    matvar_t* record;
    std::vector<std::string> seen;

    const matvar_t* field(const char* name, std::size_t rows, std::size_t cols, bool complex) {
        seen.emplace_back(name);
        const matvar_t* f = Mat_VarGetStructFieldByName(record, name, 0);
        if (f == nullptr) {
            ADD_FAILURE() << "missing field " << name;
            return nullptr;
        }
        EXPECT_EQ(f->rank, 2) << name;
        EXPECT_EQ(f->dims[0], rows) << name;
        EXPECT_EQ(f->dims[1], cols) << name;
        EXPECT_EQ(f->isComplex != 0, complex) << name;
        return f;
    }
    static std::pair<std::size_t, std::size_t> dims(Shape shape, std::size_t n) {
        return shape == Shape::Row || shape == Shape::Text ? std::pair{std::size_t{1}, n}
                                                           : std::pair{n, std::size_t{1}};
    }
    void operator()(const char* name, double v, Shape, std::size_t) {
        if (const matvar_t* f = field(name, 1, 1, false)) {
            EXPECT_EQ(f->class_type, MAT_C_DOUBLE) << name;
            EXPECT_EQ(static_cast<const double*>(f->data)[0], v) << name;
        }
    }
    void operator()(const char* name, const std::string& v, Shape shape, std::size_t) {
        const auto [r, c] = dims(shape, v.size());
        if (const matvar_t* f = field(name, r, c, false)) {
            EXPECT_EQ(f->class_type, MAT_C_CHAR) << name;
            std::string text;
            for (std::size_t i = 0; i < v.size(); ++i)
                text += static_cast<char>(f->data_type == MAT_T_UINT16 ? static_cast<const mat_uint16_t*>(f->data)[i]
                                                                       : static_cast<const char*>(f->data)[i]);
            EXPECT_EQ(text, v) << name;
        }
    }
    void operator()(const char* name, const RealColumn& v, Shape shape, std::size_t) {
        const auto [r, c] = dims(shape, v.size());
        if (const matvar_t* f = field(name, r, c, false)) {
            EXPECT_EQ(f->class_type, MAT_C_DOUBLE) << name;
            const auto* d = static_cast<const double*>(f->data);
            EXPECT_TRUE(v.empty() || std::equal(v.begin(), v.end(), d)) << name;
        }
    }
    void compareComplex(const char* name, const matvar_t* f, const ComplexColumn& v) {
        EXPECT_EQ(f->class_type, MAT_C_DOUBLE) << name;
        if (v.empty()) return;
        const auto* z = static_cast<const mat_complex_split_t*>(f->data);
        const auto* re = static_cast<const double*>(z->Re);
        const auto* im = static_cast<const double*>(z->Im);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < v.size(); ++i) wrong += re[i] != v[i].real() || im[i] != v[i].imag();
        EXPECT_EQ(wrong, 0u) << name;
    }
    void operator()(const char* name, const ComplexColumn& v, Shape shape, std::size_t) {
        const auto [r, c] = dims(shape, v.size());
        if (const matvar_t* f = field(name, r, c, true)) compareComplex(name, f, v);
    }
    void operator()(const char* name, const ComplexMatrix& v, Shape, std::size_t) {
        if (const matvar_t* f = field(name, v.rows, v.cols, true)) compareComplex(name, f, v.data);
    }
};

template <class Record>
void expectStored(SavedFile& file, const std::string& name, const Record& record) {
    MatVarPtr stored = file.read(name);
    ASSERT_NE(stored, nullptr);
    ASSERT_EQ(stored->class_type, MAT_C_STRUCT) << name;
    EXPECT_EQ(stored->dims[0], 1u);
    EXPECT_EQ(stored->dims[1], 1u);
    FieldCheck check{stored.get(), {}};
    forEachField(record, check);
    // Exactly these fields, in this order.
    const unsigned n = Mat_VarGetNumberOfFields(stored.get());
    char* const* names = Mat_VarGetStructFieldnames(stored.get());
    ASSERT_EQ(n, check.seen.size()) << name;
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(check.seen[i], names[i]) << name;
}

TEST(MatFile, ParamsSaveHoldsExactlyTheRecord) {
    const std::string path = scratch("params_save.mat");
    const Outcome o =
        tern({"params", "--mode", "ultrashort", "--constraint-length", "9", "--tlc", "1", "--save", path});
    ASSERT_EQ(o.status, 0) << o.err;
    SavedFile file(path);
    EXPECT_EQ(file.names(), std::vector<std::string>{"milstd"});
    const Milstd milstd = ternSetup(VarMilstd{"ultrashort", 1, 1, 9, 9, 0, 0});
    expectStored(file, "milstd", milstd);
    // The layout the host gives the record: 1-by-2 polynomials, complex tables.
    MatVarPtr stored = file.read("milstd");
    const matvar_t* poly = Mat_VarGetStructFieldByName(stored.get(), "genPolinomials", 0);
    EXPECT_EQ(poly->dims[0], 1u);
    EXPECT_EQ(poly->dims[1], 2u);
    EXPECT_EQ(static_cast<const double*>(poly->data)[1], 753);
}

TEST(MatFile, RunSaveHoldsEveryStageAsTheCoresReturnedIt) {
    const std::string path = scratch("run_save.mat");
    const std::vector<std::string> args{"--mode", "ultrashort", "--channel",      "bom", "--esno", "15",
                                        "--seed", "3",          "--channel-seed", "4"};
    std::vector<std::string> command{"run", "--save", path};
    command.insert(command.end(), args.begin(), args.end());
    const Outcome o = tern(command);
    ASSERT_EQ(o.status, 0) << o.err;

    ChainInputs in = defaultInputs();
    in.varmilstd.modointer = "ultrashort";
    in.varmilstd.seed = 3;
    in.varWatterson = VarWatterson{"bom", 15, 4};
    const Milstd milstd = ternSetup(in.varmilstd);
    Mt19937Source random;
    EqualizerChoice turbo;
    turbo.turbo = true;  // tern run's default receiver beside the ten modules' one
    const ChainRun run = runChain(milstd, in, random, DecoderChoice{true, true}, turbo);

    SavedFile file(path);
    EXPECT_EQ(file.names(),
              (std::vector<std::string>{"varmilstd", "varShapping", "varWatterson", "milstd", "sendOut", "shapeOut",
                                        "fadeOut", "matchOut", "FrameStartSample", "timingOut", "splitOut", "detectOut",
                                        "unweaveOut", "decodeHardOut", "softDetectOut", "softUnweaveOut",
                                        "decodeSoftOut", "receiveOut", "estimate"}));
    expectStored(file, "varmilstd", in.varmilstd);
    expectStored(file, "varShapping", in.varShapping);
    expectStored(file, "varWatterson", in.varWatterson);
    expectStored(file, "milstd", milstd);
    expectStored(file, "sendOut", run.send);
    expectStored(file, "shapeOut", run.shape);
    expectStored(file, "fadeOut", run.fade);
    expectStored(file, "matchOut", run.rx.match);
    expectStored(file, "timingOut", run.rx.timing);
    expectStored(file, "splitOut", run.rx.split);
    expectStored(file, "detectOut", run.rx.detect);
    expectStored(file, "unweaveOut", run.rx.unweave);
    expectStored(file, "decodeHardOut", run.rx.decodeHard);
    expectStored(file, "softDetectOut", run.rx.softDetect);
    expectStored(file, "softUnweaveOut", run.rx.softUnweave);
    expectStored(file, "decodeSoftOut", run.rx.decodeSoft);
    expectStored(file, "receiveOut", run.rx.turbo);
    expectStored(file, "estimate", run.rx.turbo.estimate);
    EXPECT_EQ(run.rx.turbo.DecodOut.size(), run.send.BitInCodIn.size());
    EXPECT_EQ(run.rx.decodeSoft.DecodOut.size(), run.send.BitInCodIn.size());
    EXPECT_EQ(run.rx.softUnweave.out.size(), run.send.CodOutInterIn.size());
    MatVarPtr start = file.read("FrameStartSample");
    ASSERT_EQ(start->dims[0], 1u);
    EXPECT_EQ(static_cast<const double*>(start->data)[0], run.rx.frameStart.at(0));
}

TEST(MatFile, EmptyColumnsKeepTheirShape) {
    const std::string path = scratch("empty.mat");
    MatWriter writer(path);
    writer.writeColumn("none", RealColumn{});
    writer.writeRecord("split", SplitOut{});
    writer.close();
    SavedFile file(path);
    MatVarPtr none = file.read("none");
    EXPECT_EQ(none->dims[0], 0u);
    EXPECT_EQ(none->dims[1], 1u);
    expectStored(file, "split", SplitOut{});
}

TEST(MatFile, UnwritablePathIsAFailureWithStatus1) {
    const Outcome o = tern({"params", "--save", "/no/such/folder/milstd.mat"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("/no/such/folder/milstd.mat"), std::string::npos) << o.err;
}

}  // namespace
}  // namespace tern::cli::test
