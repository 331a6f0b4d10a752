// Every crossing between the host and the module file, walked on the built file of each layout
// (the stand-in, the Windows file under wine, the Mach-O file through the host's loader): each
// record entry called through the record bytes with the host's declaration of it, and each table
// entry of the host's list reached by the module while it loads, runs the command and unloads.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>
#include <string>

#include "host/loader/module_host.h"
#include "host/scene/tags.h"
#include "host/scene/ui_log.h"
#include "host/tables/environment.h"
#include "host/tables/entry_calls.h"
#include "meshes.h"
#include "module_fixture.h"

namespace fm::test {
namespace {

// Counts start before the module file is loaded, so its start-up calls are seen too.
class Crossings : public ::testing::Test {
 protected:
  void SetUp() override { host::ResetEntryCalls(); }
};

// One life cycle of the plug-in folder in a host whose start-up directory is `startup`.
struct Session {
  explicit Session(const std::string& startup) {
    env.SetDiagnosticEcho(false);
    if (!startup.empty()) env.SetStartupDirectory(startup);
  }
  host::Environment env;
  host::ModuleHost host{env};
};

// A selected, triangulated grid with a UVW tag and a polygon selection: a run that merges,
// carries UVWs and selections, and records an undo step.
host::PolygonObject& SelectedGrid(host::Document& doc) {
  const QuadMesh mesh = Grid(3, 2);
  const Triangulation tris = Triangulate(mesh, Order::SideBySide);
  host::PolygonObject& object = doc.AddPolygonObject("Grid");
  Fill(object, mesh, tris, true);
  object.AddPolygonSelectionTag("first").Elements().Select(tris.firstIndex[0]);
  object.PolygonSelection().Select(tris.secondIndex[1]);
  object.SetSelected(true);
  return object;
}

TEST_F(Crossings, EveryRecordEntryAndEveryTableEntryCrossesWithTheHostsDeclarations) {
  {
    SCOPED_TRACE("the module's folder lies in the host's start-up directory");
    // The module then looks for its resources in the host's resource tree (found or not).
    Session session(FM_PLUGIN_DIR);
    ASSERT_TRUE(session.host.LoadFolder(FM_PLUGIN_DIR));
    session.host.Shutdown();
  }
  Session session("");
  ASSERT_TRUE(session.host.LoadFolder(FM_PLUGIN_DIR));
  host::ModuleHost& host = session.host;
  host::PolygonObject& object = SelectedGrid(session.env.ActiveDocument());
  void* document = &session.env.ActiveDocument();

  // The record's entries, each called through its bytes by the host's boundary as a member of
  // the host's command class (document, parent window).
  struct RecordCase {
    const char* what;
    int slot;
    int32_t answer;  // the state's or a bool operation's answer
  };
  const RecordCase records[] = {
      {"state with a polygon object selected: enabled", 4, 0x40000000},
      {"operation 2", 2, 0},
      {"operation 3", 3, 0},
      {"operation 5", 5, 0},
      {"operation 6", 6, 1},
      {"operation 8", 8, 1},
  };
  for (const RecordCase& c : records) {
    SCOPED_TRACE(c.what);
    if (c.slot == 4) {
      EXPECT_EQ(host.State(kCommandId, document), c.answer);
    } else {
      EXPECT_EQ(host.Operation(kCommandId, c.slot, document), c.answer != 0);
    }
  }
  {
    SCOPED_TRACE("operation 7, a string by value");
    EXPECT_EQ(host.StringOperation(kCommandId, document), "");
  }
  {
    SCOPED_TRACE("execute");
    EXPECT_EQ(host.Execute(kCommandId, document), true);
    EXPECT_EQ(object.PolygonCount(), 6);
    const std::vector<std::string> lines = session.env.Ui().ConsoleLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Grid: 6 Quadrangles"), lines.end());
  }
  {
    SCOPED_TRACE("execute with nothing selected: the user is told");
    object.SetSelected(false);
    EXPECT_EQ(host.Execute(kCommandId, document), true);
    EXPECT_EQ(session.env.Ui().OfKind(host::UiEventKind::MessageBox).size(), 1u);
  }
  for (const std::string& warning : host.Warnings()) ADD_FAILURE() << warning;
  host.Shutdown();

  // The table entries: every entry of the host's list has been reached through the module's own
  // declaration of it. (StringTable entry 0 is a data word, read rather than called.)
  for (const host::Entry& entry : host::kAllEntries) {
    SCOPED_TRACE(entry.name);
    if (host::EntryIndex(entry) == host::EntryIndex(host::StringEntries::EmptyString)) continue;
    EXPECT_GT(host::EntryCalls(entry), 0) << "the module never called it";
  }
}

}  // namespace
}  // namespace fm::test
