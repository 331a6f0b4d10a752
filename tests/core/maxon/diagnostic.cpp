// Diagnostic lines: format with and without a debugger, the console mask, joined lines, long
// lines, and the route to the host's console once the framework is bound.
#include "maxon/diagnostic.h"

#include <gtest/gtest.h>

#include <string>

#include "maxon/debugglobals.h"
#include "support/fakehost.h"

namespace {

using maxon::EmitDiagnostic;

bool Attached() { return true; }
bool Detached() { return false; }

int g_probeCalls = 0;
bool CountingProbe() {
  ++g_probeCalls;
  return false;
}

// Standard output of `emit`, with the Windows line ends made plain.
template <typename Emit>
std::string Output(Emit emit) {
  testing::internal::CaptureStdout();
  emit();
  std::string out = testing::internal::GetCapturedStdout();
  std::string plain;
  for (char c : out)
    if (c != '\r') plain += c;
  return plain;
}

class DiagnosticTest : public testing::Test {
 protected:
  void TearDown() override { maxon::SetDebuggerProbe(nullptr); }
};

// Runs first in this program: the first message asks the debugger question once more.
TEST_F(DiagnosticTest, TheFirstMessageAsksForTheDebuggerOnce) {
  maxon::SetDebuggerProbe(CountingProbe);
  EXPECT_EQ(g_probeCalls, 1);
  Output([] { EmitDiagnostic(1, "first", 1, "f"); });
  EXPECT_EQ(g_probeCalls, 2);
  Output([] { EmitDiagnostic(1, "second", 2, "f"); });
  EXPECT_EQ(g_probeCalls, 2);
}

struct LineCase {
  const char* name;
  uint32_t flags;
  bool debugger;
  const char* file;
  const char* expected;
};

TEST_F(DiagnosticTest, FormatsPrefixLocationAndLineEnd) {
  const LineCase cases[] = {
      {"critical with location, no debugger", 0x40000004, false, "src/maxon/unit.cpp",
       "CRITICAL: Boom [unit.cpp(42)]\n"},
      {"critical with location, debugger", 0x40000004, true, "src/maxon/unit.cpp",
       "src/maxon/unit.cpp(42): CRITICAL: Boom\n"},
      {"backslash path", 0x40000004, false, "C:\\src\\unit.cpp", "CRITICAL: Boom [unit.cpp(42)]\n"},
      {"warning", 0x40000002, false, "unit", "WARNING: Boom [unit(42)]\n"},
      {"warning wins over critical", 6, false, "unit", "WARNING: Boom\n"},
      {"plain diagnostic", 1, false, "unit", "Boom\n"},
      {"plain diagnostic, debugger", 1, true, "unit", "Boom\n"},
      {"no line end", 0x20000001, false, "unit", "Boom"},
      {"no channel", 0x40000000, false, "unit", ""},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    maxon::SetDebuggerProbe(c.debugger ? Attached : Detached);
    EXPECT_EQ(Output([&] { EmitDiagnostic(c.flags, "Boom", 42, c.file); }), c.expected);
  }
}

TEST_F(DiagnosticTest, ALineWithoutLineEndJoinsTheNext) {
  maxon::SetDebuggerProbe(Detached);
  EXPECT_EQ(Output([] {
              EmitDiagnostic(0x20000001, "Method invocation of unresolvable interface ", 347,
                             "maxon/object");
              EmitDiagnostic(1, "net.maxon.interface.string", 348, "maxon/object");
            }),
            "Method invocation of unresolvable interface net.maxon.interface.string\n");
}

TEST_F(DiagnosticTest, LongLinesAreWrittenWhole) {
  maxon::SetDebuggerProbe(Detached);
  const std::string text(5000, 'x');
  EXPECT_EQ(Output([&] { EmitDiagnostic(0x40000004, text.c_str(), 9, "unit"); }),
            "CRITICAL: " + text + " [unit(9)]\n");
}

TEST_F(DiagnosticTest, TheLocationIsCutAtOneThousandTwentyThreeCharacters) {
  maxon::SetDebuggerProbe(Attached);
  const std::string file(3000, 'p');
  const std::string location = (file + "(5): ").substr(0, 1023);
  EXPECT_EQ(Output([&] { EmitDiagnostic(0x40000004, "Boom", 5, file.c_str()); }),
            location + "CRITICAL: Boom\n");
}

TEST_F(DiagnosticTest, NullTextAndFileAreEmpty) {
  maxon::SetDebuggerProbe(Detached);
  EXPECT_EQ(Output([] { EmitDiagnostic(0x40000004, nullptr, 3, nullptr); }), "CRITICAL:  [(3)]\n");
}

TEST_F(DiagnosticTest, TheHostsMaskSelectsTheChannels) {
  maxon::SetDebuggerProbe(Detached);
  fmtest::FakeHost host;
  host.ProvideInterface("net.maxon.interface.system");
  host.BindAll();
  // Bit 29 in the answer keeps the module asking, so the test can change the answer.
  host.SetConsoleMask(0x20000006);
  EXPECT_EQ(Output([] { EmitDiagnostic(1, "diagnostic", 1, "unit"); }), "");
  EXPECT_EQ(Output([] { EmitDiagnostic(2, "warning", 1, "unit"); }), "WARNING: warning\n");
  host.SetConsoleMask(0x20000001);
  EXPECT_EQ(Output([] { EmitDiagnostic(4, "critical", 1, "unit"); }), "");
  EXPECT_EQ(Output([] { EmitDiagnostic(1, "diagnostic", 1, "unit"); }), "diagnostic\n");
}

TEST_F(DiagnosticTest, GoesToTheHostsConsoleOnceTheFrameworkIsBound) {
  maxon::SetDebuggerProbe(Detached);
  fmtest::FakeHost host;
  host.ProvideConsole();
  host.ProvideInterface("net.maxon.interface.string");
  host.BindAll();
  // Two of three references bound: still standard output.
  EXPECT_EQ(Output([] { EmitDiagnostic(1, "early", 1, "unit"); }), "early\n");
  EXPECT_TRUE(host.console().empty());

  host.ProvideInterface("net.maxon.interface.threadservices");
  host.BindAll();
  EXPECT_EQ(Output([] { EmitDiagnostic(0x40000004, "bound", 77, "dir/unit.cpp"); }), "");
  ASSERT_EQ(host.console().size(), 1u);
  EXPECT_EQ(host.console()[0], "CRITICAL: bound [unit.cpp(77)]\n");
  EXPECT_EQ(host.consoleLocations()[0], "dir/unit.cpp(77)");
}

}  // namespace
