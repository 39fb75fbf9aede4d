// The command line's own parsing: options, sector lists, start addresses, simulator options.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "cli/CommandHelp.h"
#include "cli/CommandLine.h"
#include "cli/ExitCodes.h"
#include "cli/SectorList.h"
#include "cli/SimArguments.h"
#include "cli/StartAddress.h"
#include "engine/SectorMap.h"

namespace zrk::cli {
namespace {

struct Parsed {
    ParseOutcome outcome;
    std::string out;
    std::string err;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "zrk410");
    std::ostringstream out, err;
    Parsed p{parseCommandLine(static_cast<int>(args.size()), args.data(), out, err), "", ""};
    p.out = out.str();
    p.err = err.str();
    return p;
}

TEST(CommandLine, EveryCommandHasHelpThatNamesItsOptions) {
    const std::vector<std::pair<const char*, std::vector<const char*>>> commands = {
        {nullptr, {"--port", "--speed", "--sim", "--timeout", "--trace", "--log", "--quiet"}},
        {"identify", {}},
        {"download", {"--bin", "--start-addr", "--power-on"}},
        {"erase", {"--sectors"}},
        {"dump", {"--sectors", "--out"}},
        {"format", {"--yes"}},
        {"status", {}},
        {"crc", {"FILE"}},
    };
    for (const auto& [command, options] : commands) {
        const auto p = command ? parse({command, "--help"}) : parse({"--help"});
        EXPECT_FALSE(p.outcome.options) << (command ? command : "main");
        EXPECT_EQ(p.outcome.exitCode, EXIT_OK);
        for (const char* option : options)
            EXPECT_NE(p.out.find(option), std::string::npos) << option << " in " << p.out;
        EXPECT_NE(p.out.find("Exit status"), std::string::npos);
    }
}

TEST(CommandLine, BadUsageIsExitTwoWithAReason) {
    for (const auto& args : std::vector<std::vector<const char*>>{
             {},                               // no command
             {"flash"},                        // unknown command
             {"erase"},                        // --sectors missing
             {"dump", "--sectors", "0"},       // --out missing
             {"--speed", "9600", "identify"},  // not a speed of the phone
             {"--timeout", "-1", "identify"},  // negative time-out
             {"download"},                     // nothing to download
             {"identify", "--frobnicate"},     // unknown option
         }) {
        const auto p = parse(args);
        EXPECT_FALSE(p.outcome.options);
        EXPECT_EQ(p.outcome.exitCode, EXIT_USAGE);
        EXPECT_FALSE(p.err.empty());
    }
}

TEST(CommandLine, AMistypedCommandIsNamedWithTheNearestOne) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"downlaod", "--bin", "x.bin"}, "unknown command 'downlaod'; did you mean 'download'?"},
        {{"identfy"}, "unknown command 'identfy'; did you mean 'identify'?"},
        {{"--port", "COM2", "fs", "lss"}, "unknown command 'fs lss'; did you mean 'fs ls'?"},
        {{"qix", "lsit", "a.qix"}, "unknown command 'qix lsit'; did you mean 'qix list'?"},
        // Nothing near: the word, then what there is.
        {{"flash"}, "unknown command 'flash'; the commands are: identify, download"},
    };
    for (const auto& [args, words] : cases) {
        const auto p = parse(args);
        EXPECT_FALSE(p.outcome.options);
        EXPECT_EQ(p.outcome.exitCode, EXIT_USAGE);
        EXPECT_NE(p.err.find(words), std::string::npos) << p.err;
        EXPECT_EQ(p.err.find("A subcommand is required"), std::string::npos) << p.err;
    }
    // A command left out is still told as such, and a known command is not second-guessed.
    EXPECT_NE(parse({"fs"}).err.find("A subcommand is required"), std::string::npos);
    EXPECT_TRUE(parse({"status"}).outcome.options);
}

TEST(CommandLine, ReadsGlobalOptionsBeforeAndAfterTheCommand) {
    auto p =
        parse({"--port", "COM3", "--speed", "921600", "--timeout", "0", "--trace", "t.txt",
               "download", "--bin", "fw.bin", "--start-addr", "10020000", "--power-on", "--quiet"});
    ASSERT_TRUE(p.outcome.options) << p.err;
    const Options& o = *p.outcome.options;
    EXPECT_EQ(o.command, Command::Download);
    EXPECT_EQ(o.port, "COM3");
    EXPECT_EQ(o.speed, 921600u);
    EXPECT_EQ(o.timeoutSeconds, 0);
    EXPECT_EQ(o.tracePath, "t.txt");
    EXPECT_EQ(o.binPath, "fw.bin");
    EXPECT_EQ(o.startAddress, "10020000");
    EXPECT_TRUE(o.powerOn);
    EXPECT_TRUE(o.quiet);
    EXPECT_FALSE(o.sim);

    // --sim with and without options; neither swallows the command after it.
    p = parse({"--sim", "identify"});
    ASSERT_TRUE(p.outcome.options) << p.err;
    EXPECT_TRUE(p.outcome.options->sim);
    EXPECT_EQ(p.outcome.options->command, Command::Identify);
    EXPECT_EQ(p.outcome.options->timeoutSeconds, 30);
    p = parse({"--sim=pace,latency=5", "erase", "--sectors", "all"});
    ASSERT_TRUE(p.outcome.options) << p.err;
    EXPECT_EQ(p.outcome.options->simOptions, "pace,latency=5");
    EXPECT_EQ(p.outcome.options->sectors, "all");
}

TEST(CommandLine, FileSystemCommandsTakeTheirPathAndOutput) {
    auto p = parse({"fs", "ls"});
    ASSERT_TRUE(p.outcome.options) << p.err;
    EXPECT_EQ(p.outcome.options->command, Command::FsList);
    EXPECT_EQ(p.outcome.options->fsPath, "/");
    p = parse({"fs", "get", "/a/b.txt", "--out", "b.txt"});
    ASSERT_TRUE(p.outcome.options) << p.err;
    EXPECT_EQ(p.outcome.options->command, Command::FsGet);
    EXPECT_EQ(p.outcome.options->fsPath, "/a/b.txt");
    EXPECT_EQ(p.outcome.options->outPath, "b.txt");
    p = parse({"fs", "nand-dump", "--out", "n.hex"});
    ASSERT_TRUE(p.outcome.options) << p.err;
    EXPECT_EQ(p.outcome.options->command, Command::FsNandDump);
    EXPECT_EQ(p.outcome.options->nandPages, 64064u);
    for (const auto& args : std::vector<std::vector<const char*>>{
             {"fs"},                                             // no fs command
             {"fs", "get", "/a"},                                // --out missing
             {"fs", "rm"},                                       // the path missing
             {"fs", "stat"},                                     // the path missing
             {"fs", "nand-dump", "--out", "n", "--pages", "0"},  // no pages
         }) {
        const auto bad = parse(args);
        EXPECT_FALSE(bad.outcome.options) << args.size();
        EXPECT_EQ(bad.outcome.exitCode, EXIT_USAGE);
    }
}

TEST(CommandLine, VerifyTakesTheImagesOfADownloadAndDownloadTakesVerify) {
    auto p = parse({"download", "--bin", "fw.bin", "--verify"});
    ASSERT_TRUE(p.outcome.options) << p.err;
    EXPECT_TRUE(p.outcome.options->verify);
    p = parse({"verify", "--bin", "fw.bin", "--start-addr", "10020000", "--qix", "fs.qix"});
    ASSERT_TRUE(p.outcome.options) << p.err;
    EXPECT_EQ(p.outcome.options->command, Command::Verify);
    EXPECT_EQ(p.outcome.options->binPath, "fw.bin");
    EXPECT_EQ(p.outcome.options->qixPath, "fs.qix");
    EXPECT_EQ(p.outcome.options->startAddress, "10020000");
    p = parse({"verify", "--help"});
    EXPECT_EQ(p.outcome.exitCode, EXIT_OK);
    EXPECT_NE(p.out.find("nothing is written"), std::string::npos) << p.out;
    p = parse({"verify"});  // nothing to compare with
    EXPECT_FALSE(p.outcome.options);
    EXPECT_EQ(p.outcome.exitCode, EXIT_USAGE);
    EXPECT_NE(p.err.find("give --bin FILE, --qix FILE or both"), std::string::npos) << p.err;
}

TEST(CommandLine, EveryCommandIsParsedBackFromTheNameTheReportGivesIt) {
    // The report names a run by commandName; typed as it stands (with what each command
    // requires), the name must run that same command.
    const std::vector<std::pair<Command, std::vector<const char*>>> commands = {
        {Command::Identify, {}},
        {Command::Download, {"--bin", "a.bin"}},
        {Command::Erase, {"--sectors", "1"}},
        {Command::Dump, {"--sectors", "1", "--out", "d.bin"}},
        {Command::Format, {}},
        {Command::Status, {}},
        {Command::Crc, {"a.bin"}},
        {Command::FsList, {}},
        {Command::FsGet, {"/a", "--out", "a"}},
        {Command::FsRemove, {"/a"}},
        {Command::FsStat, {"/a"}},
        {Command::FsNandDump, {"--out", "n.bin"}},
        {Command::Verify, {"--bin", "a.bin"}},
        {Command::FsPull, {"/a", "dir"}},
        {Command::FsBackup, {"dir"}},
        {Command::QixCreate, {"dir", "--out", "a.qix"}},
        {Command::QixList, {"a.qix"}},
        {Command::QixExtract, {"a.qix", "dir"}},
        {Command::Doctor, {}},
    };
    for (const auto& [command, rest] : commands) {
        std::istringstream words(commandName(command));
        std::vector<std::string> typed{std::istream_iterator<std::string>(words), {}};
        std::vector<const char*> args;
        for (const auto& word : typed)
            args.push_back(word.c_str());
        args.insert(args.end(), rest.begin(), rest.end());
        const Parsed p = parse(args);
        ASSERT_TRUE(p.outcome.options) << commandName(command) << ": " << p.err;
        EXPECT_EQ(p.outcome.options->command, command) << commandName(command);
    }
}

TEST(SectorList, AcceptsNumbersRangesAndAll) {
    auto r = parseSectorList(" 0-3, 511,518 ,2", SectorMap::kSectorCount);
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.flags.size(), 519u);
    std::vector<int> chosen;
    for (int i = 0; i < 519; ++i)
        if (r.flags[i])
            chosen.push_back(i);
    EXPECT_EQ(chosen, (std::vector<int>{0, 1, 2, 3, 511, 518}));

    r = parseSectorList("all", SectorMap::kSectorCount);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(std::count(r.flags.begin(), r.flags.end(), 1), 519);

    r = parseSectorList("7-7,010", SectorMap::kSectorCount);  // decimal, not octal
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.flags[7], 1);
    EXPECT_EQ(r.flags[10], 1);
    EXPECT_EQ(r.flags[8], 0);
}

TEST(SectorList, RejectsWhatIsNotASectorWithAClearReason) {
    const std::vector<std::pair<const char*, const char*>> bad = {
        {"", "empty"},
        {"   ", "empty"},
        {"519", "does not exist"},
        {"0-600", "does not exist"},
        {"5-3", "backwards"},
        {"1,,2", "empty entry"},
        {"3,", "empty entry"},
        {"x", "not a sector number"},
        {"-1", "not a sector number"},
        {"0x10", "not a sector number"},
        {"1-2-3", "not a sector number"},
    };
    for (const auto& [text, why] : bad) {
        const auto r = parseSectorList(text, SectorMap::kSectorCount);
        EXPECT_FALSE(r.ok()) << text;
        EXPECT_TRUE(r.flags.empty());
        EXPECT_NE(r.error.find(why), std::string::npos) << text << ": " << r.error;
    }
}

TEST(StartAddress, AcceptsSectorStartsInsideTheFlashOnly) {
    for (const char* good : {"10000000", "10020000", "0x10020000", "0X11ff0000", "11FFE000"})
        EXPECT_TRUE(checkStartAddress(good).address) << good;
    EXPECT_EQ(*checkStartAddress("10020000").address, 0x10020000u);

    EXPECT_NE(checkStartAddress("10010001").error.find("does not begin a sector"),
              std::string::npos);
    EXPECT_NE(checkStartAddress("11FF1000").error.find("does not begin a sector"),
              std::string::npos);
    EXPECT_NE(checkStartAddress("18000000").error.find("not in the NOR flash"), std::string::npos);
    EXPECT_NE(checkStartAddress("12000000").error.find("not in the NOR flash"), std::string::npos);
    EXPECT_NE(checkStartAddress("0FFF0000").error.find("not in the NOR flash"), std::string::npos);
    for (const char* garbage : {"1002ZZ", "", "0x", "100000000", "-1"})
        EXPECT_NE(checkStartAddress(garbage).error.find("not a hexadecimal"), std::string::npos)
            << garbage;
}

TEST(SimArguments, BareWordsGetDashesDashedOnesKeepTheirValues) {
    EXPECT_EQ(splitSimOptions("pace,latency=5"),
              (std::vector<std::string>{"--pace", "--latency=5"}));
    EXPECT_EQ(splitSimOptions("--latency 5 --transcript t.txt --pace"),
              (std::vector<std::string>{"--latency", "5", "--transcript", "t.txt", "--pace"}));
    EXPECT_EQ(splitSimOptions(" pace noise ,, "), (std::vector<std::string>{"--pace", "--noise"}));
    EXPECT_EQ(splitSimOptions("--hangup-after=100 pace"),
              (std::vector<std::string>{"--hangup-after=100", "--pace"}));
    EXPECT_TRUE(splitSimOptions("").empty());
}

// The exit table is told once, at the top; each command's help points to it and shows the
// command in use, with an example that itself parses.
TEST(CommandLine, EachCommandsHelpShowsAnExampleAndPointsToTheExitTable) {
    const auto top = parse({"--help"});
    EXPECT_NE(top.out.find("130  interrupted"), std::string::npos) << top.out;
    for (const auto& [command, example] : commandExamples()) {
        std::vector<std::string> words;
        std::istringstream typed(command);
        for (std::string word; typed >> word;)
            words.push_back(word);
        std::vector<const char*> args;
        for (const auto& word : words)
            args.push_back(word.c_str());
        args.push_back("--help");
        const auto help = parse(args);
        EXPECT_EQ(help.outcome.exitCode, EXIT_OK) << command;
        EXPECT_EQ(help.out.find("130  interrupted"), std::string::npos) << command << help.out;
        EXPECT_NE(help.out.find("Exit status: see zrk410 --help."), std::string::npos) << command;
        EXPECT_NE(help.out.find("Example:\n  " + example + "\n"), std::string::npos)
            << command << help.out;

        std::vector<std::string> exampleWords;
        std::istringstream line(example);
        for (std::string word; line >> word;)
            exampleWords.push_back(word);
        std::vector<const char*> exampleArgs;
        for (std::size_t i = 1; i < exampleWords.size(); ++i)  // past "zrk410"
            exampleArgs.push_back(exampleWords[i].c_str());
        const auto parsed = parse(exampleArgs);
        EXPECT_TRUE(parsed.outcome.options) << example << ": " << parsed.err;
    }
}

}  // namespace
}  // namespace zrk::cli
