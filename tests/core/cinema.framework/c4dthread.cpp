// The thread wrapper's break test: the host first, then (unless the legacy switch is on) the
// thread's own test, which cancels the host job and lets go of it.
#include "c4dthread.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakehost.h"

namespace {

std::vector<std::string> g_calls;
bool g_hostSaysBreak = false;

void AddJobReference(void* job) { g_calls.push_back("add " + std::to_string(reinterpret_cast<uintptr_t>(job))); }
void Cancel(void* job) { g_calls.push_back("cancel " + std::to_string(reinterpret_cast<uintptr_t>(job))); }
void RemoveJobReference(void* job) { g_calls.push_back("remove " + std::to_string(reinterpret_cast<uintptr_t>(job))); }
bool TestBreak(void* job) {
  g_calls.push_back("test " + std::to_string(reinterpret_cast<uintptr_t>(job)));
  return g_hostSaysBreak;
}

class Worker : public cinema::C4DThread {
 public:
  void Main() override {}
  bool TestDBreak() override { return stop; }
  bool stop = false;
};

void* const JOB = reinterpret_cast<void*>(7);

class ThreadBreakTest : public testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_hostSaysBreak = false;
    host_.ProvideInterface("net.maxon.interface.threadservices");
    host_.Implement("AddJobReference@1659ebc1f694f39a", reinterpret_cast<void*>(&AddJobReference));
    host_.Implement("Cancel@1659ebc1f694f39a", reinterpret_cast<void*>(&Cancel));
    host_.Implement("TestBreak@eabf736c374743f8", reinterpret_cast<void*>(&TestBreak));
    host_.Implement("RemoveJobReference@da1d21939365308e",
                    reinterpret_cast<void*>(&RemoveJobReference));
    host_.BindAll();
  }
  void TearDown() override { cinema::g_enableLegacyThreadBreak = false; }
  fmtest::FakeHost host_;
};

TEST_F(ThreadBreakTest, TheHostsAnswerComesFirst) {
  Worker worker;
  worker.AttachJob(JOB);
  g_hostSaysBreak = true;
  worker.stop = true;
  EXPECT_TRUE(worker.TestBreak());
  EXPECT_EQ(g_calls, std::vector<std::string>{"test 7"});
  EXPECT_EQ(worker.Job(), JOB) << "the host stops the job itself; the wrapper keeps it";
}

TEST_F(ThreadBreakTest, TheLegacySwitchAsksOnlyTheHost) {
  cinema::g_enableLegacyThreadBreak = true;
  Worker worker;
  worker.AttachJob(JOB);
  worker.stop = true;
  EXPECT_FALSE(worker.TestBreak());
  EXPECT_EQ(g_calls, std::vector<std::string>{"test 7"});
}

TEST_F(ThreadBreakTest, NoReasonToStop) {
  Worker worker;
  worker.AttachJob(JOB);
  EXPECT_FALSE(worker.TestBreak());
  EXPECT_EQ(worker.Job(), JOB);
}

TEST_F(ThreadBreakTest, TheThreadsOwnBreakCancelsAndReleasesTheJob) {
  Worker worker;
  worker.AttachJob(JOB);
  worker.stop = true;
  EXPECT_TRUE(worker.TestBreak());
  EXPECT_EQ(g_calls, (std::vector<std::string>{"test 7", "add 7", "cancel 7", "remove 7"}));
  EXPECT_EQ(worker.Job(), nullptr);
  g_calls.clear();
  EXPECT_TRUE(worker.TestBreak()) << "still stopping, with nothing left to cancel";
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(ThreadBreakTest, WithoutAJobOnlyTheThreadIsAsked) {
  Worker worker;
  worker.stop = true;
  EXPECT_TRUE(worker.TestBreak());
  worker.stop = false;
  EXPECT_FALSE(worker.TestBreak());
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(ThreadBreakTest, TheWrapperHoldsOneReferenceOnItsJob) {
  {
    Worker worker;
    worker.AttachJob(JOB);
    worker.AttachJob(JOB);  // the same job again: the surplus reference is dropped
    EXPECT_EQ(g_calls, std::vector<std::string>{"remove 7"});
    worker.AttachJob(reinterpret_cast<void*>(8));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"remove 7", "remove 7"}));
  }
  EXPECT_EQ(g_calls.back(), "remove 8") << "released with the wrapper";
}

TEST(ThreadBreakUnbound, WithoutThreadServicesTheHostNeverSaysStop) {
  Worker worker;
  worker.AttachJob(JOB);
  EXPECT_FALSE(worker.TestBreak());
  worker.stop = true;
  EXPECT_TRUE(worker.TestBreak());
  EXPECT_EQ(worker.Job(), nullptr);
}

}  // namespace
