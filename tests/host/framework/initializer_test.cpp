#include "host/framework/initializer.h"

#include <gtest/gtest.h>

#include "host/framework/declarations.h"
#include "host/framework/errors.h"
#include "host/framework/framework.h"
#include "host/framework/interfaces.h"
#include "host/framework/registry.h"
#include "host/framework/switches.h"
#include "reference_builder.h"

namespace fm::host {
namespace {

using testing::ReferenceBuilder;

void* ModuleStub() { return nullptr; }

class InitializerTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFramework(); }
  void TearDown() override { ResetFramework(); }
};

records::DeclarationRecord Declaration(const char* id) {
  records::DeclarationRecord d{};
  d.head.type = records::kDeclaration;
  d.head.id = {id, records::PackLiteral(id)};
  d.head.flags = records::kConstructed;
  return d;
}

TEST_F(InitializerTest, DeclarationsGetTheHostsObjects) {
  struct Case {
    const char* id;
    const void* object;
  };
  const Case cases[] = {
      {"net.maxon.error.nullptr", NullptrError()},
      {"net.maxon.error.unresolved", UnresolvedError()},
      {"net.maxon.error.functionnotimplemented", FunctionNotImplementedError()},
      {"net.maxon.stringdecoding.utf8", Utf8Decoding()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    records::DeclarationRecord d = Declaration(c.id);
    void* error = reinterpret_cast<void*>(1);
    HostInitializer(&error, &d.head, &d.head);
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(d.cached, c.object);
  }
}

TEST_F(InitializerTest, UnknownDeclarationIsAnErrorAndStaysUncached) {
  records::DeclarationRecord d = Declaration("net.maxon.error.nullpointer");
  void* error = nullptr;
  HostInitializer(&error, &d.head, &d.head);
  EXPECT_EQ(AsHostError(error), UnresolvedError());
  EXPECT_EQ(d.cached, nullptr);
  EXPECT_EQ(InitializerCalls().failures, 1);
}

TEST_F(InitializerTest, LateBindingSucceedsExactlyWhenEverySlotIsTheHosts) {
  OmitMethod("GetLength@4386c86");
  ReferenceBuilder ref(kStringInterface,
                       {{"GetLength@4386c86", kIntegralZero}, {"Init@6843523afaef7f67", kOther}});
  ref.Fill(reinterpret_cast<void*>(&ModuleStub));
  ASSERT_NE(ref.Record().head.resolving, nullptr);

  void* error = nullptr;
  HostInitializer(&error, ref.Record().head.resolving, ref.Head());
  EXPECT_EQ(AsHostError(error), UnresolvedError());

  ClearSwitches();
  HostInitializer(&error, ref.Record().head.resolving, ref.Head());
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(ref.Slot(0), reinterpret_cast<void*>(FindMethod(kStringInterface, "GetLength@4386c86")));
  EXPECT_EQ(InitializerCalls().references, 2);
}

TEST_F(InitializerTest, RefusesRequestsItCannotServe) {
  ReferenceBuilder ref(kStringInterface, {{"GetLength@4386c86", kIntegralZero}});
  ref.Fill(nullptr);
  records::EntityHead* host = ref.Record().head.resolving;
  records::DeclarationRecord d = Declaration("net.maxon.error.nullptr");
  ReferenceBuilder other(kSystemInterface, {{"AllocClear@701133d89c8735da", kIntegralZero}});
  other.Fill(nullptr);

  struct Case {
    const char* name;
    records::EntityHead* entity;
    records::EntityHead* requester;
    const HostError* expected;
  };
  const Case cases[] = {
      {"no entity", nullptr, ref.Head(), NullptrError()},
      {"no requester", host, nullptr, NullptrError()},
      {"requester is a declaration", host, &d.head, IllegalArgumentError()},
      {"requester bound elsewhere", host, other.Head(), IllegalArgumentError()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* error = nullptr;
    HostInitializer(&error, c.entity, c.requester);
    EXPECT_EQ(AsHostError(error), c.expected);
  }
  HostInitializer(nullptr, host, ref.Head());  // nowhere to write: nothing happens
}

}  // namespace
}  // namespace fm::host
