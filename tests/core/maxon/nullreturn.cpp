// Null returns become the host's error objects, or the static neutral error; never null.
#include "maxon/nullreturn.h"

#include <gtest/gtest.h>

#include <string>

#include "maxon/debugglobals.h"
#include "support/fakehost.h"

namespace {

using maxon::NULL_RETURN_REASON;
using maxon::PrivateGetNullReturnError;

bool Detached() { return false; }

class NullReturnTest : public testing::Test {
 protected:
  void SetUp() override { maxon::SetDebuggerProbe(Detached); }
  void TearDown() override { maxon::SetDebuggerProbe(nullptr); }
};

TEST_F(NullReturnTest, EachReasonSelectsItsDeclaration) {
  static uint64_t nullptrError, unresolvedError, notImplementedError;
  fmtest::FakeHost host;
  host.ProvideObject("net.maxon.error.nullptr", &nullptrError);
  host.ProvideObject("net.maxon.error.unresolved", &unresolvedError);
  host.ProvideObject("net.maxon.error.functionnotimplemented", &notImplementedError);
  struct Case {
    NULL_RETURN_REASON reason;
    void* expected;
  } const cases[] = {{NULL_RETURN_REASON::NULLPTR, &nullptrError},
                     {NULL_RETURN_REASON::MAKE_WRITABLE_FAILED, &nullptrError},
                     {NULL_RETURN_REASON::UNRESOLVED, &unresolvedError},
                     {NULL_RETURN_REASON::NULLIMPL, &notImplementedError}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.reason));
    EXPECT_EQ(PrivateGetNullReturnError(c.reason), c.expected);
  }
  // Resolved once, then cached.
  const int calls = host.initializerCalls();
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(PrivateGetNullReturnError(NULL_RETURN_REASON::UNRESOLVED), &unresolvedError);
  EXPECT_EQ(host.initializerCalls(), calls);
}

TEST_F(NullReturnTest, WithoutTheHostsObjectsTheNeutralErrorStandsIn) {
  {
    fmtest::FakeHost host;  // initialiser present, objects absent
    for (int reason = 0; reason < 4; ++reason) {
      SCOPED_TRACE(reason);
      EXPECT_EQ(PrivateGetNullReturnError(static_cast<NULL_RETURN_REASON>(reason)),
                maxon::NeutralError());
    }
    EXPECT_EQ(host.initializerCalls(), 4);
  }
  // No host at all.
  EXPECT_EQ(PrivateGetNullReturnError(NULL_RETURN_REASON::NULLPTR), maxon::NeutralError());
  EXPECT_NE(maxon::NeutralError(), nullptr);
}

TEST_F(NullReturnTest, AnUnsupportedReasonIsReportedAndAnsweredAsNullptr) {
  static uint64_t nullptrError;
  fmtest::FakeHost host;
  host.ProvideObject("net.maxon.error.nullptr", &nullptrError);
  testing::internal::CaptureStdout();
  void* error = PrivateGetNullReturnError(static_cast<NULL_RETURN_REASON>(7));
  std::string out = testing::internal::GetCapturedStdout();
  std::erase(out, '\r');
  EXPECT_EQ(out,
            "CRITICAL: Stop: reason not supported by PrivateGetNullReturnError. [object(644)]\n");
  EXPECT_EQ(error, PrivateGetNullReturnError(NULL_RETURN_REASON::NULLPTR));
  EXPECT_EQ(error, &nullptrError);
}

}  // namespace
