// Option parsing: defaults, configuration file, precedence, refused values
// (with the chain's own messages and status 2), usage errors, help.
#include <gtest/gtest.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "cli/inputs.hpp"
#include "cli/sweep.hpp"
#include "cli_harness.hpp"
#include "gateway/failure.hpp"

namespace tern::cli::test {
namespace {

TEST(Options, DefaultsAreTheDocumentedRun) {
    const auto config = runJson({"--channel", "awgn"})["configuration"];
    EXPECT_EQ(config["varmilstd"]["modointer"], "short");
    EXPECT_EQ(config["varmilstd"]["codLength"], 7);
    EXPECT_EQ(config["varmilstd"]["N_tlc"], 0);
    EXPECT_EQ(config["varmilstd"]["N_fixa"], 9);
    EXPECT_EQ(config["varmilstd"]["M"], 1);
    EXPECT_EQ(config["varmilstd"]["nFrames"], 1);
    EXPECT_EQ(config["varShapping"]["rolloffFactor"], 0.35);
    EXPECT_EQ(config["varShapping"]["pulseDelay"], 6);
    EXPECT_EQ(config["varShapping"]["oversamplingFactor"], 5);
    EXPECT_EQ(config["varWatterson"]["EsNodB"], 20);
    EXPECT_EQ(defaultInputs().varWatterson.model, "moderado");
}

TEST(Options, EveryChainInputIsSettable) {
    const auto c =
        runJson({"--mode",         "ultrashort", "--constraint-length", "9",          "--tlc",         "2",
                 "--fixed",        "1",          "--repetitions",       "1",          "--frames",      "2",
                 "--seed",         "77",         "--rolloff",           "0.5",        "--pulse-delay", "4",
                 "--oversampling", "2",          "--channel",           "muito_ruim", "--esno",        "12.5",
                 "--channel-seed", "99"})["configuration"];
    EXPECT_EQ(c["varmilstd"], nlohmann::json::parse(R"({"modointer":"ultrashort","M":1,"N_tlc":2,"N_fixa":1,
              "codLength":9,"nFrames":2,"seed":77})"));
    EXPECT_EQ(c["varShapping"],
              nlohmann::json::parse(R"({"rolloffFactor":0.5,"pulseDelay":4,"oversamplingFactor":2})"));
    EXPECT_EQ(c["varWatterson"], nlohmann::json::parse(R"({"model":"muito_ruim","EsNodB":12.5,"seed":99})"));
}

TEST(Options, ConfigFileFillsRecordsAndOptionsTakePrecedence) {
    const std::string path = scratch("options_config.json");
    std::ofstream(path) << R"({"varmilstd": {"modointer": "ultrashort", "seed": 5},
                              "varShapping": {"oversamplingFactor": 10},
                              "varWatterson": {"model": "awgn", "EsNodB": 7}})";
    const auto c = runJson({"--config", path, "--esno", "9"})["configuration"];
    EXPECT_EQ(c["varmilstd"]["modointer"], "ultrashort");
    EXPECT_EQ(c["varmilstd"]["seed"], 5);
    EXPECT_EQ(c["varmilstd"]["codLength"], 7);  // untouched fields keep the default
    EXPECT_EQ(c["varShapping"]["oversamplingFactor"], 10);
    EXPECT_EQ(c["varWatterson"]["model"], "awgn");
    EXPECT_EQ(c["varWatterson"]["EsNodB"], 9);  // the option wins over the file
}

TEST(Options, ConfigFileMistakesAreUsageErrors) {
    const std::string path = scratch("options_bad_config.json");
    for (const char* text : {R"({"varmilstd": {"modo": "short"}})", R"({"milstd": {}})",
                             R"({"varmilstd": {"M": "one"}})", R"({"varWatterson": {"model": 3}})", "{not json"}) {
        std::ofstream(path) << text;
        const Outcome o = tern({"run", "--config", path});
        EXPECT_EQ(o.status, 2) << text;
        EXPECT_NE(o.err.find("configuration"), std::string::npos) << o.err;
    }
    const Outcome missing = tern({"params", "--config", scratch("no_such_file.json")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
}

TEST(Options, RefusedValuesGiveTheChainsOwnMessageAndStatus2) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"params", "--mode", "Short"}, "ERRO! Modo interleaving inválido (varmilstd.modointer).\n"},
        {{"params", "--repetitions", "1.5"},
         "ERRO! O número de repetições do superquadro deve estar entre 1 e 32 (varmilstd.M).\n"},
        {{"run", "--tlc", "256"}, "ERRO! O número de blocos TLC deve estar entre 0 e 255 (varmilstd.N_tlc)\n"},
        {{"run", "--fixed", "1", "--repetitions", "2"},
         "ERRO! Quando o tamanho da subseção fixa (varmilstd.N_fixa) for 1, o número e repetições do subquadro "
         "(varmilstd.M) também deverá ser 1.\n"},
        {{"run", "--constraint-length", "8"},
         "ERRO! Constraint Length do codificador deve ser 7 ou 9 (varmilstd.codLength).\n"},
        // The channel's own text, then the names the command line takes.
        {{"run", "--channel", "Moderado"},
         "ERRO! Tipo de canal Watterson invalido.\n"
         "tern: the channel conditions are bom, moderado, ruim, muito_ruim and awgn (noise only)\n"},
        {{"sweep", "--channel", "awgn,pessimo"},
         "ERRO! Tipo de canal Watterson invalido.\n"
         "tern: the channel conditions are bom, moderado, ruim, muito_ruim and awgn (noise only)\n"},
        {{"run", "--oversampling", "4"},
         "ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.\n"},
        {{"sweep", "--channel", "bom", "--oversampling", "3"},
         "ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.\n"},
    };
    for (const auto& c : cases) {
        const Outcome o = tern(c.args);
        EXPECT_EQ(o.status, 2) << c.args[1];
        EXPECT_EQ(o.err, c.message);
        EXPECT_EQ(o.out, "");
    }
    // An invalid mode together with an invalid M reports the mode only.
    EXPECT_EQ(tern({"params", "--mode", "x", "--repetitions", "0"}).err,
              "ERRO! Modo interleaving inválido (varmilstd.modointer).\n");
    // The pulse design's own check of the roll-off.
    const Outcome rolloff = tern({"run", "--rolloff", "0"});
    EXPECT_EQ(rolloff.status, 2);
    EXPECT_EQ(rolloff.err.rfind("ERRO!", 0), 0u) << rolloff.err;
    for (const char* seed : {"-1", "4294967296", "2.5", "nan"}) {
        EXPECT_EQ(tern({"run", "--seed", seed}).status, 2) << seed;
        EXPECT_EQ(tern({"run", "--channel-seed", seed}).status, 2) << seed;
    }
}

TEST(Options, ValuesTheCommandLineRefusesItself) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"run", "--frames", "0"},
                                               {"run", "--frames", "1.5"},
                                               {"run", "--oversampling", "0"},
                                               {"run", "--oversampling", "2.5"},
                                               {"run", "--rolloff", "1.5"},
                                               {"run", "--pulse-delay", "-1"},
                                               {"run", "--esno", "inf"},
                                               {"sweep", "--esno", "0:0:4"},
                                               {"sweep", "--esno", "4:1:0"},
                                               {"sweep", "--esno", "a"},
                                               {"sweep", "--min-bursts", "5", "--max-bursts", "4"},
                                               {"sweep", "--channel", "awgn,awgn"},
                                               {"sweep", "--bursts", "4", "--shard", "3/2"},
                                               {"sweep", "--bursts", "4", "--shard", "1-2"}}) {
        const Outcome o = tern(args);
        EXPECT_EQ(o.status, 2) << args[1] << " " << args[2];
        EXPECT_NE(o.err.find("--help"), std::string::npos) << o.err;
    }
}

TEST(Options, UsageErrorsPointToHelp) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"transmit"},
             {"run", "--bogus"},
             {"run", "--esno"},
             {"run", "--frames", "two"},
             {"sweep", "--shard", "1/2"},                       // a shard needs a fixed --bursts
             {"sweep", "--bursts", "4", "--max-errors", "10"},  // fixed bursts exclude the error stop
             {"sweep", "--threads", "0"},
             {"sweep", "--decoder", "soft,turbo"},
             {"merge"}}) {
        const Outcome o = tern(args);
        EXPECT_EQ(o.status, 2);
        EXPECT_NE(o.err.find("--help' for usage"), std::string::npos) << o.err;
    }
}

TEST(Options, EqualizerAndPassesAreChecked) {
    const struct {
        std::vector<std::string> args;
        const char* says;
    } refused[] = {
        {{"run", "--equalizer", "zf"}, "--equalizer: \"zf\" is not none, lmmse, turbo"},
        {{"run", "--equalizer", ""}, "--equalizer"},
        {{"run", "--equalizer", "none,turbo"}, "tern run takes one of none, lmmse, turbo"},
        {{"run", "--passes", "21"}, "--passes"},
        {{"run", "--passes", "2.5"}, "\"2.5\" is not a whole number"},
        {{"run", "--passes", ""}, "--passes"},
        {{"sweep", "--equalizer", "turbo,turbo"}, "--equalizer: \"turbo\" is given twice"},
        {{"sweep", "--equalizer", "lmmse,"}, "--equalizer: \"\" is not none"},
        {{"sweep", "--passes", "-1"}, "--passes"},
    };
    for (const auto& r : refused) {
        const Outcome o = tern(r.args);
        EXPECT_EQ(o.status, 2) << r.args[2];
        EXPECT_EQ(o.out, "") << r.args[2];
        EXPECT_NE(o.err.find(r.says), std::string::npos) << o.err;
    }
    // "none" stands for the decoders' measures, in the place it is given.
    EXPECT_EQ(measuresOf({"soft", "hard"}, parseEqualizerList("turbo,none,lmmse")),
              (std::vector<std::string>{"turbo", "soft", "hard", "lmmse", "coded"}));
    EXPECT_EQ(measuresOf({}, parseEqualizerList("none")), std::vector<std::string>{"coded"});
}

TEST(Options, HelpForEveryCommandNamesItsOptions) {
    const Outcome top = tern({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* command : {"params", "run", "sweep", "merge"}) EXPECT_NE(top.out.find(command), std::string::npos);
    const Outcome run = tern({"run", "--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* option : {"--mode", "--constraint-length", "--tlc", "--fixed", "--repetitions", "--frames",
                               "--seed", "--rolloff", "--pulse-delay", "--oversampling", "--channel", "--esno",
                               "--channel-seed", "--config", "--save", "--plot", "--json", "--equalizer", "--passes"})
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
    const Outcome sweep = tern({"sweep", "--help"});
    for (const char* option : {"--max-errors", "--max-bursts", "--min-bursts", "--bursts", "--shard", "--threads",
                               "--csv", "--plot", "--decoder", "--equalizer", "--passes"})
        EXPECT_NE(sweep.out.find(option), std::string::npos) << option;
    EXPECT_EQ(tern({"params", "--help"}).status, 0);
    EXPECT_EQ(tern({"merge", "--help"}).status, 0);
}

TEST(Options, EsnoListsAndRanges) {
    EXPECT_EQ(parseEsnoList("0:2:10"), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(parseEsnoList("4"), (std::vector<double>{4}));
    EXPECT_EQ(parseEsnoList("1,3.5,-2"), (std::vector<double>{1, 3.5, -2}));
    EXPECT_EQ(parseEsnoList("0:0.1:0.3"), (std::vector<double>{0, 0.1, 0.2, 0.3}));  // no drift past the end
    EXPECT_EQ(parseEsnoList("10:-5:0,20"), (std::vector<double>{10, 5, 0, 20}));
    EXPECT_EQ(parseEsnoList("0:3:7"), (std::vector<double>{0, 3, 6}));
    for (const char* bad : {"", "1,", "0:1", "0:1:2:3", "0:-1:5", "1e400", "0:1e-9:1000"})
        EXPECT_THROW(parseEsnoList(bad), UsageError) << bad;
}

TEST(Options, ChannelListsAndShards) {
    EXPECT_EQ(parseChannelList("moderado,ruim,awgn"), (std::vector<std::string>{"moderado", "ruim", "awgn"}));
    EXPECT_THROW(parseChannelList("moderado,"), Failure);
    EXPECT_THROW(parseChannelList("ruim,ruim"), UsageError);
    const Shard s = parseShard("3/8");
    EXPECT_EQ(s.index, 3u);
    EXPECT_EQ(s.count, 8u);
    for (const char* bad : {"0/2", "3/2", "/2", "1/", "a/b", "1/99999999", "-1/2"})
        EXPECT_THROW(parseShard(bad), UsageError);
}

}  // namespace
}  // namespace tern::cli::test
