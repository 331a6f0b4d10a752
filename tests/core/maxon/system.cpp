// The module's heap through the system interface.
#include "maxon/system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "maxon/systeminterface.h"
#include "support/fakehost.h"

namespace {

int64_t g_size = 0;
std::string g_siteFile;
int64_t g_siteLine = 0;
int g_allocations = 0;
void (*g_destructor)(void*) = nullptr;
void* g_freed = nullptr;

void* HostAllocClear(int64_t size, const maxon::AllocationSite* site) {
  ++g_allocations;
  g_size = size;
  g_siteFile = site->file;
  g_siteLine = site->line;
  return std::calloc(1, static_cast<size_t>(size));
}
void HostFree(void* object, void (*destructor)(void*)) {
  g_destructor = destructor;
  g_freed = object;
  if (destructor != nullptr) destructor(object);
  std::free(object);
}

int g_destroyed = 0;
void Destroy(void* object) { g_destroyed += *static_cast<int*>(object) == 7 ? 1 : 100; }

class SystemTest : public testing::Test {
 protected:
  void SetUp() override {
    g_allocations = 0;
    g_destroyed = 0;
    g_freed = nullptr;
    host_.ProvideInterface("net.maxon.interface.system");
    host_.Implement("AllocClear@701133d89c8735da", reinterpret_cast<void*>(&HostAllocClear));
    host_.Implement("FreeWithDestructorI@6b1a30c0b982b124", reinterpret_cast<void*>(&HostFree));
  }
  fmtest::FakeHost host_;
};

TEST_F(SystemTest, AllocatesZeroFilledMemoryWithItsSite) {
  host_.BindAll();
  const int line = __LINE__ + 1;
  auto* block = static_cast<int*>(FW_ALLOC_CLEAR(4 * sizeof(int)));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(g_size, 16);
  EXPECT_EQ(g_siteFile, __FILE__);
  EXPECT_EQ(g_siteLine, line);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(block[i], 0);
  block[0] = 7;
  maxon::FreeWithDestructorI(block, Destroy);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_EQ(g_freed, block);
  EXPECT_EQ(g_destructor, &Destroy);
}

// A host calls the destructor it is handed, so a block with nothing to destroy still goes with a
// function: DestroyNothing, also in place of a null destructor.
TEST_F(SystemTest, TheHostIsNeverHandedANullDestructor) {
  host_.BindAll();
  for (void (*given)(void*) : {&maxon::DestroyNothing, static_cast<void (*)(void*)>(nullptr)}) {
    void* block = FW_ALLOC_CLEAR(8);
    ASSERT_NE(block, nullptr);
    g_destructor = nullptr;
    maxon::FreeWithDestructorI(block, given);
    EXPECT_EQ(g_freed, block);
    EXPECT_EQ(g_destructor, &maxon::DestroyNothing);
  }
}

TEST_F(SystemTest, RefusesANegativeSizeWithoutAskingTheHost) {
  host_.BindAll();
  EXPECT_EQ(maxon::AllocClear(-1, __FILE__, __LINE__), nullptr);
  EXPECT_EQ(g_allocations, 0);
}

TEST_F(SystemTest, IgnoresANullObject) {
  host_.BindAll();
  maxon::FreeWithDestructorI(nullptr, Destroy);
  EXPECT_EQ(g_freed, nullptr);
  EXPECT_EQ(g_destroyed, 0);
}

TEST_F(SystemTest, UnboundThereIsNoMemory) {
  EXPECT_EQ(maxon::AllocClear(16, __FILE__, __LINE__), nullptr);
  EXPECT_EQ(g_allocations, 0);
  int object = 7;
  maxon::FreeWithDestructorI(&object, Destroy);  // nothing of the host's to free
  EXPECT_EQ(g_destroyed, 0);
}

}  // namespace
