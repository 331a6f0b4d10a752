#include "host/fmhost/options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fm::host::fmhost {
namespace {

struct Parsed {
  std::optional<int> exit;
  Options options;
  std::string out, err;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "fmhost");
  Parsed parsed;
  std::ostringstream out, err;
  parsed.exit = ParseOptions(static_cast<int>(args.size()), args.data(), parsed.options, out, err);
  parsed.out = out.str();
  parsed.err = err.str();
  return parsed;
}

TEST(Options, DefaultsAreTheBuildsPluginFolderAndEverything) {
  Parsed p = Parse({"in.obj", "-o", "out.obj"});
  ASSERT_FALSE(p.exit.has_value()) << p.err;
  EXPECT_EQ(p.options.input, "in.obj");
  EXPECT_EQ(p.options.output, "out.obj");
  EXPECT_EQ(p.options.plugins, DefaultPluginFolder());
  EXPECT_FALSE(DefaultPluginFolder().empty());
  EXPECT_TRUE(p.options.select.empty());
  EXPECT_TRUE(p.options.command.empty());
  EXPECT_FALSE(p.options.json || p.options.undoCheck || p.options.list);
  EXPECT_EQ(p.options.order, FaceOrder::kAuto);
}

TEST(Options, EveryOptionIsTaken) {
  Parsed p = Parse({"in.obj", "--output", "out.obj", "--plugins", "dir", "--command", "1050896",
                    "--json", "--undo-check", "--select", "a", "b c"});
  ASSERT_FALSE(p.exit.has_value()) << p.err;
  EXPECT_EQ(p.options.plugins, "dir");
  EXPECT_EQ(p.options.command, "1050896");
  EXPECT_EQ(p.options.select, (std::vector<std::string>{"a", "b c"}));
  EXPECT_TRUE(p.options.json && p.options.undoCheck);
}

TEST(Options, OrderIsAutoOrFileAndNothingElse) {
  EXPECT_EQ(Parse({"in.obj", "-o", "out.obj", "--order", "file"}).options.order, FaceOrder::kFile);
  EXPECT_EQ(Parse({"in.obj", "-o", "out.obj", "--order", "auto"}).options.order, FaceOrder::kAuto);
  for (const char* bad : {"halves", "FILE", ""}) {
    SCOPED_TRACE(bad);
    const Parsed p = Parse({"in.obj", "-o", "out.obj", "--order", bad});
    EXPECT_EQ(p.exit, 2);
    EXPECT_NE(p.err.find("--order"), std::string::npos) << p.err;
  }
}

TEST(Options, PathsWithLeadingSlashesAreFilesOnEveryPlatform) {
  Parsed p = Parse({"/data/in.obj", "-o", "/data/out.obj"});
  ASSERT_FALSE(p.exit.has_value()) << p.err;
  EXPECT_EQ(p.options.input, "/data/in.obj");
}

TEST(Options, ListNeedsNoFiles) {
  Parsed p = Parse({"--list"});
  ASSERT_FALSE(p.exit.has_value()) << p.err;
  EXPECT_TRUE(p.options.list);
}

TEST(Options, AnInputAfterTheSelectedNamesIsTheInput) {
  struct Case {
    std::vector<const char*> args;
    const char* input;
    std::vector<std::string> select;
  };
  const Case cases[] = {
      {{"--select", "A", "in.obj", "-o", "x.obj"}, "in.obj", {"A"}},
      {{"--select", "A", "B", "in.obj", "-o", "x.obj"}, "in.obj", {"A", "B"}},
      {{"in.obj", "--select", "A", "B", "-o", "x.obj"}, "in.obj", {"A", "B"}},
      {{"--select", "A", "-o", "x.obj", "in.obj"}, "in.obj", {"A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.select.size());
    Parsed p = Parse(c.args);
    ASSERT_FALSE(p.exit.has_value()) << p.err;
    EXPECT_EQ(p.options.input, c.input);
    EXPECT_EQ(p.options.select, c.select);
  }
  // A single word after --select is a name: taking it as the input would select everything.
  Parsed lone = Parse({"--select", "in.obj", "-o", "x.obj"});
  EXPECT_EQ(lone.exit, 2);
  EXPECT_EQ(lone.err, "fmhost: no input file given (see fmhost --help)\n");
}

TEST(Options, HelpSaysWhatIsKeptRefusedAndTheExitCodes) {
  Parsed p = Parse({"--help"});
  EXPECT_EQ(p.exit, 0);
  for (const char* text : {"Exit status: 0", "1 failure", "2 usage error", "byte for byte",
                           "Refused", "'-' is standard output", "symbolic link"}) {
    EXPECT_NE(p.out.find(text), std::string::npos) << text;
  }
}

TEST(Options, HelpNamesEveryOption) {
  Parsed p = Parse({"--help"});
  EXPECT_EQ(p.exit, 0);
  for (const char* option : {"--output", "--plugins", "--select", "--command", "--json",
                             "--undo-check", "--list", "INPUT.obj"}) {
    EXPECT_NE(p.out.find(option), std::string::npos) << option;
  }
}

TEST(Options, UsageErrorsAreOneLineAndExitTwo) {
  struct Case {
    std::vector<const char*> args;
    const char* error;
  };
  const Case cases[] = {
      {{"in.obj"}, "fmhost: no output file given: use -o OUTPUT.obj (see fmhost --help)\n"},
      {{"-o", "out.obj"}, "fmhost: no input file given (see fmhost --help)\n"},
      {{"in.obj", "-o"}, "fmhost: "},
      {{"in.obj", "-o", "x", "--frobnicate"}, "fmhost: "},
      {{"a.obj", "b.obj", "-o", "x"}, "fmhost: "},
      {{"--list", "in.obj"}, "fmhost: --list shows the modules and stops: it takes no input"},
      {{"--list", "-o", "x"}, "fmhost: --list shows the modules and stops: it takes no input"},
      {{"in.obj", "-o", "-", "--json"}, "fmhost: --json and -o - would both write to standard"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    Parsed p = Parse(c.args);
    EXPECT_EQ(p.exit, 2);
    EXPECT_EQ(p.err.rfind(c.error, 0), 0u) << p.err;
    EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << p.err;
  }
}

}  // namespace
}  // namespace fm::host::fmhost
