#include "host/framework/binder.h"

#include <gtest/gtest.h>

#include "host/framework/framework.h"
#include "host/framework/interfaces.h"
#include "host/framework/registry.h"
#include "host/framework/switches.h"
#include "reference_builder.h"

namespace fm::host {
namespace {

using testing::Method;
using testing::ReferenceBuilder;

int64_t ModuleStub() { return 77; }
void* StubSlot() { return reinterpret_cast<void*>(&ModuleStub); }

class BinderTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFramework(); }
  void TearDown() override { ResetFramework(); }
};

TEST_F(BinderTest, ExactIdentifierResolvesAndMisspeltOneStaysUnresolved) {
  ReferenceBuilder ref(kSystemInterface, {{"AllocClear@701133d89c8735da", kIntegralZero},
                                          {"AllocClaer@701133d89c8735da", kIntegralZero},
                                          {"AllocClear@701133d89c8735db", kIntegralZero},
                                          {"allocclear@701133d89c8735da", kIntegralZero},
                                          {"AllocClear", kIntegralZero}});
  ref.Fill(StubSlot());
  EXPECT_EQ(ref.Slot(0),
            reinterpret_cast<void*>(FindMethod(kSystemInterface, "AllocClear@701133d89c8735da")));
  for (size_t i = 1; i < 5; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(ref.Slot(i), nullptr);
    EXPECT_NE(ref.Slot(i), ref.Slot(0));
    EXPECT_EQ(reinterpret_cast<int64_t (*)()>(ref.Slot(i))(), 0);
  }
  const std::vector<BindRecord> bound = TakeBindRecords();
  ASSERT_EQ(bound.size(), 1u);
  EXPECT_EQ(bound[0].resolved, 1);
  EXPECT_EQ(bound[0].unresolved.size(), 4u);
  EXPECT_TRUE(bound[0].problem.empty()) << bound[0].problem;
}

TEST_F(BinderTest, UnresolvedSlotsGetTheDefaultTheirKindNames) {
  ReferenceBuilder ref("net.maxon.interface.nobodyimplements",
                       {{"A@1", kVoidZero}, {"B@2", kVoidZeroFreeFunction}, {"C@3", kIntegralZero},
                        {"D@4", kFloatZero}, {"E@5", kDoubleZero}, {"F@6", kPointerToZero},
                        {"G@7", kOther}});
  ref.Fill(StubSlot());
  for (size_t i = 0; i < 7; ++i) ASSERT_NE(ref.Slot(i), nullptr) << i;

  reinterpret_cast<void (*)(void*, void*)>(ref.Slot(0))(nullptr, nullptr);
  reinterpret_cast<void (*)(void*)>(ref.Slot(1))(nullptr);
  // Integral 0 fills the whole result word: also null and false.
  EXPECT_EQ(reinterpret_cast<int64_t (*)()>(ref.Slot(2))(), 0);
  EXPECT_EQ(reinterpret_cast<void* (*)()>(ref.Slot(2))(), nullptr);
  EXPECT_EQ(reinterpret_cast<float (*)()>(ref.Slot(3))(), 0.0f);
  EXPECT_EQ(reinterpret_cast<double (*)()>(ref.Slot(4))(), 0.0);
  const auto* zero = static_cast<const unsigned char*>(reinterpret_cast<const void* (*)()>(ref.Slot(5))());
  ASSERT_NE(zero, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(zero[i], 0) << i;
  // OTHER keeps what the filler wrote.
  EXPECT_EQ(ref.Slot(6), StubSlot());

  const DefaultCallCounts calls = DefaultCalls();
  for (int kind = 0; kind < 6; ++kind) EXPECT_EQ(calls.byKind[kind], kind == 2 ? 2 : 1) << kind;
}

TEST_F(BinderTest, ImplementedInterfaceGetsTheHostRecordAndBothAreFlaggedInitialized) {
  ReferenceBuilder ref(kStringInterface, {{"GetLength@4386c86", kIntegralZero}});
  ref.Fill(StubSlot());
  records::EntityHead* host = InterfaceRecord(kStringInterface);
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(ref.Record().head.resolving, host);
  EXPECT_EQ(ref.Record().head.flags & records::kInitialized, records::kInitialized);
  EXPECT_EQ(host->flags & records::kInitialized, records::kInitialized);
  EXPECT_EQ(InterfaceOfRecord(host), kStringInterface);
}

TEST_F(BinderTest, UnknownInterfaceHasNoResolvingEntityAndStaysUninitialized) {
  ReferenceBuilder ref("net.maxon.interface.systen", {{"AllocClear@701133d89c8735da", kIntegralZero}});
  ref.Fill(StubSlot());
  EXPECT_EQ(ref.Record().head.resolving, nullptr);
  EXPECT_EQ(ref.Record().head.flags & records::kInitialized, 0u);
  const std::vector<BindRecord> bound = TakeBindRecords();
  ASSERT_EQ(bound.size(), 1u);
  EXPECT_FALSE(bound[0].hostInterface);
}

TEST_F(BinderTest, OmittedMethodIsTreatedAsUnimplemented) {
  OmitMethod("SetCString@5c5e8978bfe2a356");
  ReferenceBuilder ref(kStringInterface, {{"SetCString@5c5e8978bfe2a356", kOther},
                                          {"GetLength@4386c86", kIntegralZero}});
  ref.Fill(StubSlot());
  EXPECT_EQ(ref.Slot(0), StubSlot());
  EXPECT_EQ(ref.Slot(1),
            reinterpret_cast<void*>(FindMethod(kStringInterface, "GetLength@4386c86")));
}

TEST_F(BinderTest, MalformedReferencesAreReportedAndLeftAlone) {
  struct Case {
    const char* name;
    void (*spoil)(ReferenceBuilder&);
    int64_t count;
    bool shiftKinds;
  };
  const Case cases[] = {
      {"wrong type", [](ReferenceBuilder& r) { r.Record().head.type = records::kDeclaration; }, 1, false},
      {"count differs", [](ReferenceBuilder&) {}, 2, false},
      {"no blob", [](ReferenceBuilder& r) { r.Record().blob = nullptr; }, 1, false},
      {"kinds elsewhere", [](ReferenceBuilder&) {}, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReferenceBuilder ref(kSystemInterface, {{"AllocClear@701133d89c8735da", kIntegralZero}});
    c.spoil(ref);
    HostBinder(ref.Head(), &ref.Slot(0), ref.Kinds() + (c.shiftKinds ? 1 : 0), c.count);
    const std::vector<BindRecord> bound = TakeBindRecords();
    ASSERT_EQ(bound.size(), 1u);
    EXPECT_FALSE(bound[0].problem.empty());
    EXPECT_EQ(ref.Slot(0), nullptr);
    EXPECT_EQ(ref.Record().head.resolving, nullptr);
  }
}

TEST_F(BinderTest, RebindFillsSlotsThatBecameAvailable) {
  ReferenceBuilder ref("net.maxon.interface.late", {{"Late@1", kOther}, {"Later@2", kOther}});
  RegisterMethod("net.maxon.interface.late", "Late@1", AsHostFunction(&ModuleStub));
  ref.Fill(nullptr);
  EXPECT_FALSE(RebindReference(&ref.Record()));  // Later@2 is still missing
  RegisterMethod("net.maxon.interface.late", "Later@2", AsHostFunction(&ModuleStub));
  EXPECT_TRUE(RebindReference(&ref.Record()));
  EXPECT_EQ(ref.Slot(1), StubSlot());
}

}  // namespace
}  // namespace fm::host
