// What the host finds through g_maxon right after load: the library's three module records, their
// dependency lists, and every unit's records, with the names each binary layout records.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "maxon/configuration.h"
#include "maxon/entity.h"
#include "maxon/interfacereference.h"
#include "maxon/maxonrecord.h"
#include "support/fakehost.h"

namespace {

using maxon::EntityBase;
using TYPE = EntityBase::TYPE;
using FLAGS = EntityBase::FLAGS;

std::vector<maxon::ModuleRecord*> Modules() {
  std::vector<maxon::ModuleRecord*> modules;
  for (maxon::ModuleRecord* m = g_maxon.modules; m != nullptr && modules.size() < 16;
       m = m->previous)
    modules.push_back(m);
  return modules;
}

maxon::ModuleRecord* FindModule(const char* id) {
  for (maxon::ModuleRecord* m : Modules())
    if (std::strcmp(m->head.id.text, id) == 0) return m;
  return nullptr;
}

std::vector<EntityBase*> Entities(const maxon::ModuleRecord& module) {
  std::vector<EntityBase*> entities;
  for (EntityBase* e = module.entities; e != nullptr && entities.size() < 1000; e = e->next)
    entities.push_back(e);
  return entities;
}

// Translation-unit name -> flags, for one module.
std::multimap<std::string, uint64_t> Units(const maxon::ModuleRecord& module) {
  std::multimap<std::string, uint64_t> units;
  for (EntityBase* e : Entities(module))
    if (e->type == TYPE::TRANSLATION_UNIT) units.emplace(e->id.text, e->flags);
  return units;
}

const maxon::TranslationUnitRecord* UnitOf(const EntityBase* e) {
  for (int i = 0; e != nullptr && i < 8; ++i, e = e->owner)
    if (e->type == TYPE::TRANSLATION_UNIT) return reinterpret_cast<const maxon::TranslationUnitRecord*>(e);
  return nullptr;
}

TEST(GlobalRecord, HoldsTheVersionAndAnEmptyHostPart) {
  EXPECT_EQ(g_maxon.version, 21014);
  EXPECT_EQ(g_maxon.id.text, nullptr);
  EXPECT_EQ(g_maxon.id.packed, 0u);
  EXPECT_EQ(g_maxon.reserved, nullptr);
  EXPECT_EQ(g_maxon.initializer, nullptr);
}

TEST(GlobalRecord, ListsTheThreeModules) {
  // Their order follows the order in which the toolchain runs the units' initialisers (link
  // order for ELF, the reverse for the Windows toolchain); nothing depends on it.
  const std::vector<maxon::ModuleRecord*> modules = Modules();
  ASSERT_EQ(modules.size(), 3u);
  std::set<std::string> ids;
  for (maxon::ModuleRecord* m : modules) {
    SCOPED_TRACE(m->head.id.text);
    ids.insert(m->head.id.text);
    EXPECT_EQ(m->head.type, TYPE::MODULE);
    EXPECT_EQ(m->maxon, &g_maxon);
    EXPECT_EQ(m->head.id.packed, maxon::PackLiteralText(m->head.id.text));
  }
  const std::set<std::string> expected = {"com.tessworks.facetmender",
                                          "net.maxon.c4d.cinema.framework",
                                          "net.maxon.core.framework"};
  EXPECT_EQ(ids, expected);
}

TEST(PluginModule, DeclaresItselfWithItsThreeDependencies) {
  maxon::ModuleRecord* module = FindModule("com.tessworks.facetmender");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->head.flags, FLAGS::CONSTRUCTED | FLAGS::DEFINITION);
  ASSERT_EQ(module->dependencyCount, 3);
  struct Expected {
    const char* id;
    uint64_t packed;
  } const expected[] = {
      {"net.maxon.c4d.cinema.framework", 0x1e459d5288338},
      {"net.maxon.core.framework", 0x1854b7897c12b},
      {"net.maxon.math.framework", 0x181770e28a954},
  };
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i].id);
    EXPECT_STREQ(module->dependencies[i].text, expected[i].id);
    EXPECT_EQ(module->dependencies[i].packed, expected[i].packed);
  }
  // Owned by the registration unit, which belongs to the module.
  ASSERT_NE(module->head.owner, nullptr);
  EXPECT_EQ(module->head.owner->type, TYPE::TRANSLATION_UNIT);
  EXPECT_STREQ(module->head.owner->id.text, "register");
  EXPECT_EQ(reinterpret_cast<maxon::TranslationUnitRecord*>(module->head.owner)->module, module);
}

TEST(FrameworkModules, ArePublicFrameworksWithoutDependencies) {
  for (const char* id : {"net.maxon.c4d.cinema.framework", "net.maxon.core.framework"}) {
    SCOPED_TRACE(id);
    maxon::ModuleRecord* module = FindModule(id);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->head.flags, 0x8001000u | FLAGS::CONSTRUCTED | FLAGS::DEFINITION);
    EXPECT_EQ(module->dependencies, nullptr);
    EXPECT_EQ(module->dependencyCount, 0);
    ASSERT_NE(module->head.owner, nullptr);
    EXPECT_STREQ(module->head.owner->id.text, "register");
    EXPECT_EQ(module->head.owner->flags, FLAGS::REGISTRATION_UNIT | 0x201u);
  }
}

TEST(TranslationUnits, CarryTheirNamesAndFlagsPerLayout) {
  const auto plugin = Units(*FindModule("com.tessworks.facetmender"));
  const auto cinema = Units(*FindModule("net.maxon.c4d.cinema.framework"));
  const auto core = Units(*FindModule("net.maxon.core.framework"));
#if defined(_WIN32)
  const std::multimap<std::string, uint64_t> expectedPlugin = {{"??", 0x2000201},
                                                               {"register", 0x301}};
  const std::multimap<std::string, uint64_t> expectedCinema = {{"??", 0x201},
                                                               {"register", 0x301}};
  for (const auto& [name, flags] : core) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(name == "??" || name == "register");
    EXPECT_EQ(flags, name == "register" ? 0x301u : 0x201u);
  }
#else
  const std::multimap<std::string, uint64_t> expectedPlugin = {
      {"interface_registration", 0x2000201}, {"register", 0x301}};
  const std::multimap<std::string, uint64_t> expectedCinema = {{"c4dthread", 0x201},
                                                               {"register", 0x301}};
  for (const char* unit : {"register", "entity", "literalid", "maxonrecord", "configuration",
                           "debugglobals", "crashhandlerglobals", "spinlock", "diagnostic",
                           "interfacereference", "nullreturn", "declaration", "system", "string",
                           "threadservices", "applicationid", "urlscheme", "floatlimits"}) {
    SCOPED_TRACE(unit);
    EXPECT_EQ(core.count(unit), 1u);
  }
#endif
  EXPECT_EQ(plugin, expectedPlugin);
  EXPECT_EQ(cinema, expectedCinema);
  EXPECT_EQ(core.count("register"), 1u);
}

TEST(TranslationUnits, OwnThemselvesAndCarryTheSentinels) {
  for (maxon::ModuleRecord* module : Modules()) {
    for (EntityBase* e : Entities(*module)) {
      if (e->type != TYPE::TRANSLATION_UNIT) continue;
      SCOPED_TRACE(e->id.text);
      auto* unit = reinterpret_cast<maxon::TranslationUnitRecord*>(e);
      EXPECT_EQ(e->owner, e);
      EXPECT_EQ(unit->module, module);
      EXPECT_EQ(unit->sentinels[0], -1);
      EXPECT_EQ(unit->sentinels[1], -2);
      EXPECT_EQ(unit->sentinels[2], -1);
    }
  }
}

TEST(EntityLists, HoldEachRecordInTheModuleOfItsUnit) {
  std::set<EntityBase*> seen;
  for (maxon::ModuleRecord* module : Modules()) {
    SCOPED_TRACE(module->head.id.text);
    for (EntityBase* e : Entities(*module)) {
      EXPECT_TRUE(seen.insert(e).second) << "record listed twice";
      EXPECT_NE(e->flags & FLAGS::CONSTRUCTED, 0u);
      EXPECT_EQ(e->flags & FLAGS::HOST_STATE_MASK, 0u);
      EXPECT_EQ(e->hostReserved, nullptr);
      EXPECT_EQ(e->resolving, nullptr);
      ASSERT_NE(e->id.text, nullptr);
      EXPECT_EQ(e->id.packed, maxon::PackLiteralText(e->id.text));
      const maxon::TranslationUnitRecord* unit = UnitOf(e->owner);
      ASSERT_NE(unit, nullptr) << e->id.text;
      EXPECT_EQ(unit->module, module);
    }
  }
}

TEST(InterfaceReferences, AreTheThreeTheModuleUses) {
  fmtest::FakeHost host;  // only for its record lookup; binds nothing here
  struct Expected {
    const char* id;
    int64_t count;
    uint64_t flags;
    const char* firstMethod;
  } const expected[] = {
      {"net.maxon.interface.system", 5, 0, "AllocClear@701133d89c8735da"},
      {"net.maxon.interface.string", 45, FLAGS::REFERENCE_COPY_ON_WRITE, "Free@6b89c862671671d5"},
      {"net.maxon.interface.threadservices", 4, 0, "AddJobReference@1659ebc1f694f39a"},
  };
  EXPECT_EQ(host.Records(TYPE::NONVIRTUAL_INTERFACE).size(), 3u);
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.id);
    maxon::InterfaceReferenceRecord* reference = host.Reference(e.id);
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(reference->methodCount, e.count);
    EXPECT_EQ(reference->head.flags, e.flags | FLAGS::CONSTRUCTED);
    EXPECT_NE(reference->filler, nullptr);
    EXPECT_EQ(reference->fallback, nullptr);
    EXPECT_EQ(reference->hostSlot, nullptr);
    EXPECT_EQ(fmtest::MethodIds(*reference).front(), e.firstMethod);
    // Every slot of kind OTHER already holds the module's stub; the others wait for the binder.
    const uint8_t* kinds = maxon::NullReturnTypes(*reference);
    for (int64_t i = 0; i < reference->methodCount; ++i) {
      SCOPED_TRACE(i);
      ASSERT_LE(kinds[i], 6);
      EXPECT_EQ(reference->methods[i] != nullptr, kinds[i] == 6);
    }
  }
}

TEST(Declarations, NameTheErrorsAndTheDecoding) {
  fmtest::FakeHost host;
  std::set<std::string> ids;
  for (EntityBase* e : host.Records(TYPE::DECLARATION)) {
    ids.insert(e->id.text);
    EXPECT_EQ(reinterpret_cast<maxon::DeclarationRecord*>(e)->cached, nullptr);
  }
  const std::set<std::string> expected = {
      "net.maxon.error.nullptr", "net.maxon.error.unresolved",
      "net.maxon.error.functionnotimplemented", "net.maxon.stringdecoding.utf8"};
  EXPECT_EQ(ids, expected);
}

TEST(Configuration, HasItsInitialisationHooksAndDependency) {
  fmtest::FakeHost host;
  const auto inits = host.Records(TYPE::INITIALIZATION);
  ASSERT_EQ(inits.size(), 1u);
  auto* init = reinterpret_cast<maxon::InitializationRecord*>(inits[0]);
  EXPECT_EQ(init->init, &maxon::ConfigurationInit);
  EXPECT_EQ(init->free, &maxon::ConfigurationFree);
  EXPECT_STREQ(init->sourceName, "configuration");
  EXPECT_EQ(init->head.flags, 0x201u);

  const auto dependencies = host.Records(TYPE::DEPENDENCY);
  ASSERT_EQ(dependencies.size(), 1u);
  EXPECT_STREQ(dependencies[0]->id.text, "configuration");
  EXPECT_STREQ(reinterpret_cast<maxon::DependencyRecord*>(dependencies[0])->sourceName,
               "configuration");
  EXPECT_EQ(dependencies[0]->flags, 0x201u);
}

TEST(Configuration, RegistersTheFiveVariablesInLinkOrder) {
  struct Expected {
    const char* name;
    int32_t category;
    const char* help;
    bool defaultValue;
  } const expected[] = {
      {"g_enableLegacyThreadBreak", 1, "Enables the legacy code for TestDBreak /((fallback).",
       false},
      {"g_inCrashhandler", 5, "", false},
      {"g_enableDebugBreak", 1, "enable debug breaks (when debugger is attached)", true},
      {"g_enableParallelFor", 1, "enable parallel execution of all ParallelFor loops", true},
      {"g_trackSpinlocks", 1,
       "Track usage of Spinlocks (either for performance checks or deadlock detection)", false},
  };
  const maxon::ConfigurationTable& table = maxon::g_configurationTable;
  ASSERT_EQ(table.count, 5);
  // Within the debug globals the break switch registers first.
  std::map<std::string, int> position;
  for (int i = 0; i < 5; ++i) position[table.entries[i].name] = i;
  EXPECT_EQ(position["g_enableParallelFor"], position["g_enableDebugBreak"] + 1);
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    ASSERT_EQ(position.count(e.name), 1u);
    const maxon::ConfigurationEntry& entry = table.entries[position[e.name]];
    EXPECT_STREQ(entry.help, e.help);
    EXPECT_EQ(static_cast<int32_t>(entry.category), e.category);
    EXPECT_EQ(entry.type, maxon::CONFIGURATION_TYPE::BOOL);
    ASSERT_NE(entry.variable, nullptr);
    EXPECT_EQ(*static_cast<bool*>(entry.variable), e.defaultValue);
  }
}

}  // namespace
