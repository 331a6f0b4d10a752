#pragma once
// Loads the built plug-in folder into a fresh headless host for each test.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/framework/memory.h"
#include "host/framework/strings.h"
#include "host/loader/module_host.h"
#include "host/scene/resource_set.h"
#include "host/tables/environment.h"

namespace fm::test {

inline constexpr int32_t kCommandId = 1050896;
inline const std::string kRule(39, '-');

class ModuleFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    nullDestructorFrees_ = host::NullDestructorFreeCount();
    environment_ = std::make_unique<host::Environment>();
    environment_->SetDiagnosticEcho(false);
    host_ = std::make_unique<host::ModuleHost>(*environment_);
    ASSERT_TRUE(host_->LoadFolder(FM_PLUGIN_DIR)) << Errors();
    ASSERT_NE(host_->FindCommand(kCommandId), nullptr);
    std::string error;
    auto set = host::LoadResourceSet(std::string(FM_PLUGIN_DIR) + "/facetmender/res", error);
    ASSERT_NE(set, nullptr) << error;
    for (int32_t id = 10000; id <= 10003; ++id) texts_.push_back(host::ToUtf8(set->Find(id)));
    Ui().Clear();
  }

  void TearDown() override {
    host_.reset();
    environment_.reset();
    // A host calls the destructor FreeWithDestructorI is handed: the module never hands it null,
    // from loading to unloading (scratch blocks included).
    EXPECT_EQ(host::NullDestructorFreeCount(), nullDestructorFrees_);
  }

  std::string Errors() const {
    std::string all;
    for (const std::string& e : host_->Errors()) all += e + "\n";
    return all;
  }

  host::Environment& Env() { return *environment_; }
  host::Document& Doc() { return environment_->ActiveDocument(); }
  host::UiLog& Ui() { return environment_->Ui(); }
  host::ModuleHost& Host() { return *host_; }

  // The module's own string-table text for an id of 10000 to 10003.
  const std::string& Text(int32_t id) const { return texts_[id - 10000]; }

  bool Run() {
    std::optional<bool> answer = host_->Execute(kCommandId, &Doc());
    EXPECT_TRUE(answer.has_value());
    return answer.value_or(false);
  }

  std::vector<std::string> Console() const { return environment_->Ui().ConsoleLines(); }

  size_t Count(host::UiEventKind kind) const { return environment_->Ui().OfKind(kind).size(); }

 private:
  std::unique_ptr<host::Environment> environment_;
  std::unique_ptr<host::ModuleHost> host_;
  std::vector<std::string> texts_;
  int64_t nullDestructorFrees_ = 0;
};

}  // namespace fm::test
