// Unload: the identifiers' destructors run in the reverse order of their registration; an owned
// text (g_maxon's slot) is freed through the framework's allocator; the dependency list is
// cleared. Checked in a child process that exits, since this happens after main returns.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "maxon/applicationid.h"
#include "maxon/literalid.h"
#include "maxon/maxonrecord.h"
#include "maxon/translationunit.h"
#include "support/fakehost.h"

namespace {

// Registered in this order when the program starts.
constinit const maxon::LiteralId g_first{"test.exit.first"};
constinit const maxon::LiteralId g_second{"test.exit.second"};
constinit const maxon::LiteralId g_third{"test.exit.third"};

bool IsDependency(const maxon::LiteralId& id) {
  const maxon::ModuleRecord& module = maxon::g_pluginModuleRecord;
  for (int64_t i = 0; i < module.dependencyCount; ++i)
    if (&id == &module.dependencies[i]) return true;
  return false;
}

// Written on one line: the Windows death-test matcher does not cross line ends.
void PrintRelease(const maxon::LiteralId& id) {
  const bool ours = std::strncmp(id.text, "test.", 5) == 0 ||
                    std::strncmp(id.text, "net.maxon.application.", 22) == 0 ||
                    std::strncmp(id.text, "net.example.", 12) == 0;
  if (IsDependency(id))
    std::fprintf(stderr, "[dependency %s]", id.text);
  else if (ours)
    std::fprintf(stderr, "[%s]", id.text);
}

void PrintingFree(void* object, void (*)(void*)) {
  std::fprintf(stderr, "[freed %s]", static_cast<char*>(object));
  delete[] static_cast<char*>(object);
}

void ExitObserved() {
  maxon::SetLiteralIdReleaseObserver(PrintRelease);
  std::exit(0);
}

TEST(ExitTest, IdentifiersAreReleasedInReverseOrderOfRegistration) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitObserved(), testing::ExitedWithCode(0),
              "\\[test\\.exit\\.third\\]\\[test\\.exit\\.second\\]\\[test\\.exit\\.first\\]");
  EXPECT_EXIT(ExitObserved(), testing::ExitedWithCode(0),
              "\\[net\\.maxon\\.application\\.python3\\]\\[net\\.maxon\\.application\\.python\\]"
              "\\[net\\.maxon\\.application\\.cineware\\].*"
              "\\[net\\.maxon\\.application\\.lite\\]\\[net\\.maxon\\.application\\.unknown\\]");
}

TEST(ExitTest, TheDependencyListIsClearedAtUnload) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitObserved(), testing::ExitedWithCode(0),
              "\\[dependency net\\.maxon\\.math\\.framework\\]"
              "\\[dependency net\\.maxon\\.core\\.framework\\]"
              "\\[dependency net\\.maxon\\.c4d\\.cinema\\.framework\\]");
}

TEST(ExitTest, AnOwnedTextInTheGlobalRecordIsFreedAtUnload) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // The host left an owned identifier in g_maxon; unload releases it.
        // The host outlives the module's unload: never destroyed in the child.
        auto* host = new fmtest::FakeHost;
        host->Implement("FreeWithDestructorI@6b1a30c0b982b124",
                        reinterpret_cast<void*>(&PrintingFree));
        host->BindAll();
        char* text = new char[17];
        std::memcpy(text, "net.example.host", 17);
        g_maxon.id.text = text;
        g_maxon.id.packed = maxon::PackLiteralText(text) | maxon::LITERAL_OWNED_BIT;
        ExitObserved();
      },
      testing::ExitedWithCode(0), "\\[net\\.example\\.host\\]\\[freed net\\.example\\.host\\]");
}

}  // namespace
