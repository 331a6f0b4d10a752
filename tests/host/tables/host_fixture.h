#pragma once
// A fresh Environment and the module's view of its tables, for each test. Diagnostics are kept
// but not echoed: the tests that provoke them check them.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host/tables/environment.h"
#include "tests/host/tables/module_view.h"

namespace fm::host::testkit {

class HostTest : public ::testing::Test {
 protected:
  HostTest() { env.SetDiagnosticEcho(false); }

  // True when some diagnostic contains `text`.
  bool Diagnosed(const std::string& text) const {
    const auto& all = env.Diagnostics();
    return std::any_of(all.begin(), all.end(),
                       [&](const std::string& d) { return d.find(text) != std::string::npos; });
  }

  Environment env;
  ModuleView view{env.Tables()};
};

}  // namespace fm::host::testkit
