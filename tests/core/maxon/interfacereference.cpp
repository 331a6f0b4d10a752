// Binding of method tables and what unbound methods do: the filler's stubs, late resolution
// through the host's initialiser, the fallback, and the report of an unresolvable interface.
#include "maxon/interfacereference.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "maxon/debugglobals.h"
#include "maxon/maxonrecord.h"
#include "maxon/stringinterface.h"
#include "support/fakehost.h"

namespace {

using maxon::InterfaceReferenceRecord;
using maxon::StringObject;

const std::vector<std::string> UNRESOLVABLE_STRING = {
    "Method invocation of unresolvable interface ", "net.maxon.interface.string\n",
    "CRITICAL: Stop [object(349)]\n"};

bool Detached() { return false; }
bool Attached() { return true; }

// A host that implements the framework's references (so diagnostics reach its console), with the
// string interface's Init left out.
class BindingTest : public testing::Test {
 protected:
  void SetUp() override {
    maxon::SetDebuggerProbe(Detached);
    host_.ProvideConsole();
    host_.ProvideInterface("net.maxon.interface.string");
    host_.ProvideInterface("net.maxon.interface.threadservices");
  }
  void TearDown() override {
    maxon::SetDebuggerProbe(nullptr);
    maxon::g_enableDebugBreak = true;
  }
  fmtest::FakeHost host_;
};

StringObject* HostInit(StringObject* self) { return self; }

struct BinderCall {
  maxon::EntityBase* reference = nullptr;
  void** methods = nullptr;
  const uint8_t* kinds = nullptr;
  int64_t count = 0;
  bool stubsInPlace = false;
};
BinderCall g_binderCall;

void RecordingBinder(maxon::EntityBase* reference, void** methods, const uint8_t* kinds,
                     int64_t count) {
  g_binderCall = {reference, methods, kinds, count, true};
  for (int64_t i = 0; i < count; ++i)
    if ((kinds[i] == 6) != (methods[i] != nullptr)) g_binderCall.stubsInPlace = false;
}

TEST_F(BindingTest, TheFillerWritesItsStubsThenCallsTheBinder) {
  InterfaceReferenceRecord* string = host_.Reference("net.maxon.interface.string");
  ASSERT_NE(string, nullptr);
  for (int64_t i = 0; i < string->methodCount; ++i) string->methods[i] = nullptr;
  string->filler(&string->head, RecordingBinder);

  EXPECT_EQ(g_binderCall.reference, &string->head);
  EXPECT_EQ(g_binderCall.methods, string->methods);
  EXPECT_EQ(g_binderCall.count, 45);
  EXPECT_TRUE(g_binderCall.stubsInPlace);
  // The kind bytes follow the blob's last NUL.
  const std::vector<std::string> ids = fmtest::MethodIds(*string);
  ASSERT_EQ(ids.size(), 45u);
  EXPECT_EQ(ids[34], "SetCString@5c5e8978bfe2a356");
  EXPECT_EQ(ids[44], "GetCharacterWidth@4386c86");
  const char* afterBlob = string->methodNames;
  for (const std::string& id : ids) afterBlob += id.size() + 1;
  EXPECT_EQ(reinterpret_cast<const char*>(g_binderCall.kinds), afterBlob);
  const std::string kinds(reinterpret_cast<const char*>(g_binderCall.kinds), 45);
  std::string digits;
  for (char k : kinds) digits += static_cast<char>('0' + k);
  EXPECT_EQ(digits, "126666222222666222620266666662266666666655662");
}

TEST_F(BindingTest, AnUnresolvedMethodWithoutErrorChannelReportsOnEveryCall) {
  host_.BindAll();
  StringObject* any = reinterpret_cast<StringObject*>(0x1000);
  const int callsBefore = host_.initializerCalls();
  for (int call = 0; call < 2; ++call) {
    SCOPED_TRACE(call);
    host_.ClearConsole();
    EXPECT_EQ(maxon::StringInit(any), nullptr);
    EXPECT_EQ(host_.console(), UNRESOLVABLE_STRING);
    EXPECT_EQ(host_.initializerCalls(), callsBefore + call + 1) << "asked again on each call";
  }
}

TEST_F(BindingTest, AnUnresolvedMethodWithErrorChannelAnswersTheUnresolvedErrorSilently) {
  static uint64_t unresolved[2];
  host_.ProvideObject("net.maxon.error.unresolved", unresolved);
  host_.BindAll();
  InterfaceReferenceRecord* string = host_.Reference("net.maxon.interface.string");
  // "Shrink", one of the Result-returning methods.
  auto shrink = maxon::SlotAs<maxon::ErrorRef (*)(void*, void*, void*, void*)>(*string, 3);
  EXPECT_EQ(shrink(nullptr, nullptr, nullptr, nullptr).Get(), unresolved);
  EXPECT_TRUE(host_.console().empty());
  EXPECT_EQ(maxon::PrivateGetNullReturnError(maxon::NULL_RETURN_REASON::UNRESOLVED), unresolved);
}

void HostAnything() {}

TEST_F(BindingTest, LateResolutionForwardsOnceTheHostHasTheMethod) {
  // The host has every string method but Init at bind time, and Init by the first call.
  for (const std::string& id : fmtest::MethodIds(*host_.Reference("net.maxon.interface.string")))
    host_.Implement(id, reinterpret_cast<void*>(&HostAnything));
  host_.Withdraw("Init@6843523afaef7f67");
  host_.BindAll();
  host_.Implement("Init@6843523afaef7f67", reinterpret_cast<void*>(&HostInit));
  StringObject* any = reinterpret_cast<StringObject*>(0x1000);
  EXPECT_EQ(maxon::StringInit(any), any);
  EXPECT_TRUE(host_.console().empty());
  EXPECT_EQ(host_.Reference("net.maxon.interface.string")->methods[maxon::STRING_INIT],
            reinterpret_cast<void*>(&HostInit));
}

maxon::EntityBase* g_askedEntity = nullptr;
void* g_askedRequester = nullptr;
void RecordingInitializer(void** errorOut, maxon::EntityBase* entity, void* requester) {
  g_askedEntity = entity;
  g_askedRequester = requester;
  *errorOut = nullptr;
}

// The host finds the requesting reference from the id's fixed offset in it, so the id's address,
// not the record's, is what it must get.
TEST_F(BindingTest, LateResolutionHandsTheInitialiserTheReferencesId) {
  host_.BindAll();
  InterfaceReferenceRecord* string = host_.Reference("net.maxon.interface.string");
  ASSERT_NE(string->head.resolving, nullptr);
  g_maxon.initializer = &RecordingInitializer;
  EXPECT_TRUE(maxon::ResolveReference(*string, false));
  host_.InstallInitializer(true);
  EXPECT_EQ(g_askedEntity, string->head.resolving);
  EXPECT_EQ(g_askedRequester, static_cast<void*>(&string->head.id));
}

TEST_F(BindingTest, AnInterfaceTheHostLacksIsReportedWithoutAskingTheInitialiser) {
  fmtest::FakeHost* host = &host_;
  host->BindAll();
  // No resolving entity: nothing to ask the host.
  InterfaceReferenceRecord* string = host->Reference("net.maxon.interface.string");
  string->head.resolving = nullptr;
  const int callsBefore = host->initializerCalls();
  // The string reference no longer counts as bound, so the report goes to standard output.
  testing::internal::CaptureStdout();
  EXPECT_EQ(maxon::StringInit(nullptr), nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  std::erase(out, '\r');
  EXPECT_EQ(out,
            "Method invocation of unresolvable interface net.maxon.interface.string\n"
            "CRITICAL: Stop [object(349)]\n");
  EXPECT_EQ(host->initializerCalls(), callsBefore);
  EXPECT_TRUE(host->console().empty());
}

TEST_F(BindingTest, AMissingInitialiserIsReportedAndNeverCalled) {
  host_.BindAll();
  host_.InstallInitializer(false);
  maxon::SetDebuggerProbe(Attached);
  maxon::g_enableDebugBreak = false;  // a debugger, but breaks off: no trap
  EXPECT_EQ(maxon::StringInit(nullptr), nullptr);
  ASSERT_EQ(host_.console().size(), 4u);
  EXPECT_EQ(host_.console()[0], "maxon/object(139): CRITICAL: Assertion failed: g_maxon.GetInitializer()\n");
  EXPECT_EQ(host_.console()[1], UNRESOLVABLE_STRING[0]);
  EXPECT_EQ(host_.console()[2], UNRESOLVABLE_STRING[1]);
  EXPECT_EQ(host_.console()[3], "maxon/object(349): CRITICAL: Stop\n");
  EXPECT_EQ(host_.consoleLocations()[0], "maxon/object(139)");
  EXPECT_EQ(host_.initializerCalls(), 0);
}

TEST_F(BindingTest, WithoutReportTheMissingInitialiserStillAsserts) {
  host_.BindAll();
  host_.InstallInitializer(false);
  InterfaceReferenceRecord* string = host_.Reference("net.maxon.interface.string");
  EXPECT_FALSE(maxon::ResolveReference(*string, false));
  EXPECT_EQ(host_.console(),
            std::vector<std::string>{
                "CRITICAL: Assertion failed: g_maxon.GetInitializer() [object(139)]\n"});
}

// A reference of the test's own, with a fallback.
void* g_testMethods[1];
const char TEST_BLOB[] = "Get@1\0\x06";
InterfaceReferenceRecord g_testReference{};
int g_fallbackCalls = 0;
int64_t ModuleSideGet(int64_t x) { return x + 1; }
void FillingFallback(void** methods) {
  ++g_fallbackCalls;
  methods[0] = reinterpret_cast<void*>(&ModuleSideGet);
}
void EmptyFallback(void**) { ++g_fallbackCalls; }
using TestStub = maxon::ReportingStub<g_testReference, 0, int64_t(int64_t)>;

class FallbackTest : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    host_.BindAll();
    g_testReference.head.id.Assign("net.example.interface.test");
    g_testReference.methods = g_testMethods;
    g_testReference.methodNames = TEST_BLOB;
    g_testReference.methodCount = 1;
    g_testMethods[0] = maxon::StubAddress<TestStub>();
    g_fallbackCalls = 0;
  }
};

TEST_F(FallbackTest, TheFallbackMayFillTheTable) {
  g_testReference.fallback = FillingFallback;
  EXPECT_EQ(TestStub::Call(41), 42);
  EXPECT_EQ(g_fallbackCalls, 1);
  EXPECT_EQ(g_testMethods[0], reinterpret_cast<void*>(&ModuleSideGet));
  EXPECT_TRUE(host_.console().empty());
}

TEST_F(FallbackTest, AResolutionThatLeavesTheStubInPlaceDoesNotRecurse) {
  g_testReference.fallback = EmptyFallback;
  EXPECT_EQ(TestStub::Call(41), 0);
  EXPECT_EQ(g_fallbackCalls, 1);
  ASSERT_EQ(host_.console().size(), 3u);
  EXPECT_EQ(host_.console()[1], "net.example.interface.test\n");
}

TEST_F(FallbackTest, WithoutAFallbackTheReferenceIsUnresolved) {
  g_testReference.fallback = nullptr;
  EXPECT_FALSE(maxon::ResolveReference(g_testReference, false));
  EXPECT_TRUE(host_.console().empty());
  EXPECT_FALSE(maxon::ResolveReference(g_testReference, true));
  EXPECT_EQ(host_.console().size(), 3u);
}

}  // namespace
