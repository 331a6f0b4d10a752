// The debugger question and the break condition: no trap unless a debugger is attached and
// breaks are enabled.
#include "maxon/debugglobals.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

bool Attached() { return true; }
bool Detached() { return false; }

class DebugGlobalsTest : public testing::Test {
 protected:
  void TearDown() override {
    maxon::SetDebuggerProbe(nullptr);
    maxon::g_enableDebugBreak = true;
  }
};

TEST_F(DebugGlobalsTest, AsksThePlatformWithoutAProbe) {
  maxon::SetDebuggerProbe(nullptr);
#if defined(_WIN32)
  EXPECT_EQ(maxon::IsDebuggerAttached(), IsDebuggerPresent() != 0);
#else
  long tracer = -1;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof(line), status))
      if (std::strncmp(line, "TracerPid:", 10) == 0) tracer = std::strtol(line + 10, nullptr, 10);
    std::fclose(status);
  }
  ASSERT_GE(tracer, 0);
  EXPECT_EQ(maxon::IsDebuggerAttached(), tracer != 0);
#endif
}

TEST_F(DebugGlobalsTest, BreaksOnlyWithADebuggerAndBreaksEnabled) {
  struct Case {
    bool debugger;
    bool enabled;
    bool condition;
  } const cases[] = {{false, false, false}, {false, true, false}, {true, false, false},
                     {true, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "debugger " << c.debugger << ", enabled " << c.enabled);
    maxon::SetDebuggerProbe(c.debugger ? Attached : Detached);
    maxon::g_enableDebugBreak = c.enabled;
    EXPECT_EQ(maxon::DebugBreakCondition(), c.condition);
    if (!c.condition) maxon::DebugBreakIfAllowed();  // must return
  }
}

TEST_F(DebugGlobalsTest, TheConditionExecutesABreakpointTrap) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        maxon::SetDebuggerProbe(Attached);
        maxon::g_enableDebugBreak = true;
        maxon::DebugBreakIfAllowed();
        std::exit(0);
      },
      "");
}

}  // namespace
