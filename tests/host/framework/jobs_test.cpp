#include "host/framework/jobs.h"

#include <gtest/gtest.h>

#include "host/framework/interfaces.h"
#include "host/framework/registry.h"

namespace fm::host {
namespace {

using JobFunction = void (*)(void*);
using TestBreakFunction = bool (*)(void*);

JobFunction Method(const char* identifier) {
  return reinterpret_cast<JobFunction>(FindMethod(kThreadServicesInterface, identifier));
}

TEST(JobTest, ThreadServicesCountReferencesAndCancel) {
  JobFunction add = Method("AddJobReference@1659ebc1f694f39a");
  JobFunction cancel = Method("Cancel@1659ebc1f694f39a");
  JobFunction remove = Method("RemoveJobReference@da1d21939365308e");
  auto testBreak = reinterpret_cast<TestBreakFunction>(
      FindMethod(kThreadServicesInterface, "TestBreak@eabf736c374743f8"));
  ASSERT_TRUE(add && cancel && remove && testBreak);

  const int64_t live = LiveJobCount();
  HostJob* job = NewJob();
  EXPECT_EQ(LiveJobCount(), live + 1);
  add(job);
  EXPECT_EQ(JobReferences(job), 2);
  EXPECT_FALSE(testBreak(job));
  cancel(job);
  EXPECT_TRUE(testBreak(job));
  remove(job);
  EXPECT_EQ(LiveJobCount(), live + 1);
  remove(job);
  EXPECT_EQ(LiveJobCount(), live);
}

TEST(JobTest, UnknownHandlesAreIgnored) {
  int stray = 0;
  const int64_t live = LiveJobCount();
  AddJobReference(&stray);
  RemoveJobReference(&stray);
  RemoveJobReference(nullptr);
  EXPECT_FALSE(CancelJob(&stray));
  EXPECT_FALSE(JobTestBreak(nullptr));
  EXPECT_EQ(LiveJobCount(), live);
}

}  // namespace
}  // namespace fm::host
