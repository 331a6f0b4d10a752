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

  // The module hands over the address of the reference's id, not the record.
  void* error = nullptr;
  HostInitializer(&error, ref.Record().head.resolving, &ref.Record().head.id);
  EXPECT_EQ(AsHostError(error), UnresolvedError());

  ClearSwitches();
  HostInitializer(&error, ref.Record().head.resolving, &ref.Record().head.id);
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
  ReferenceBuilder unbound(kStringInterface, {{"GetLength@4386c86", kIntegralZero}});

  struct Case {
    const char* name;
    records::EntityHead* entity;
    void* requester;
    const HostError* expected;
  };
  const Case cases[] = {
      {"no entity", nullptr, &ref.Record().head.id, NullptrError()},
      {"no requester", host, nullptr, NullptrError()},
      // The record's own address: what lies there is no id of this interface.
      {"the reference record instead of its id", host, ref.Head(), IllegalArgumentError()},
      {"a declaration's id", host, &d.head.id, IllegalArgumentError()},
      {"the id of another interface's reference", host, &other.Record().head.id, IllegalArgumentError()},
      {"the right id in a reference not bound here", host, &unbound.Record().head.id, IllegalArgumentError()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* error = nullptr;
    HostInitializer(&error, c.entity, c.requester);
    EXPECT_EQ(AsHostError(error), c.expected);
  }
  HostInitializer(nullptr, host, &ref.Record().head.id);  // nowhere to write: nothing happens
}

}  // namespace
}  // namespace fm::host
