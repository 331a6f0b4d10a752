#include "host/framework/console.h"

#include <gtest/gtest.h>

#include "host/framework/framework.h"
#include "host/framework/interfaces.h"
#include "host/framework/records.h"
#include "host/framework/registry.h"

namespace fm::host {
namespace {

using ConsoleOutputFunction = void (*)(const char*, const records::SourceLocation*, void*, int64_t);
using OutputTypeFunction = uint32_t (*)();

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFramework();
    output_ = reinterpret_cast<ConsoleOutputFunction>(
        FindMethod(kSystemInterface, "_ConsoleOutput@cf78c5c1924d0b0e"));
    ASSERT_NE(output_, nullptr);
  }
  void TearDown() override { ResetFramework(); }
  ConsoleOutputFunction output_ = nullptr;
};

TEST_F(ConsoleTest, TextsWithoutLineEndContinueTheLine) {
  const records::SourceLocation where{"maxon/object", 347};
  output_("Method invocation of unresolvable interface ", &where, nullptr, 0);
  output_("net.maxon.interface.string\n", &where, nullptr, 0);
  output_("CRITICAL: Stop [object(349)]\n", nullptr, nullptr, 0);
  output_("unfinished", nullptr, nullptr, 0);
  EXPECT_EQ(ConsoleLines(),
            (std::vector<std::string>{
                "Method invocation of unresolvable interface net.maxon.interface.string",
                "CRITICAL: Stop [object(349)]", "unfinished"}));
  const std::vector<ConsoleCall> calls = ConsoleCalls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].file, "maxon/object");
  EXPECT_EQ(calls[0].line, 347);
  EXPECT_EQ(calls[2].file, "");
}

TEST_F(ConsoleTest, ListenerSeesEachFinishedLineOnce) {
  std::vector<std::string> seen;
  SetConsoleListener([&](const std::string& line) { seen.push_back(line); });
  output_("a", nullptr, nullptr, 0);
  EXPECT_TRUE(seen.empty());
  output_("b\nc\n", nullptr, nullptr, 0);
  output_(nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"ab", "c"}));
  SetConsoleListener(nullptr);
}

TEST_F(ConsoleTest, OutputTypeAnswersTheSettableMask) {
  auto type = reinterpret_cast<OutputTypeFunction>(
      FindMethod(kSystemInterface, "GetConsoleOutputType@20c32d4d521"));
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type(), 7u);
  SetConsoleOutputMask(4);
  EXPECT_EQ(type(), 4u);
}

}  // namespace
}  // namespace fm::host
