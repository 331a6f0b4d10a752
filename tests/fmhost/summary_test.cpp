#include "host/fmhost/summary.h"

#include <gtest/gtest.h>

namespace fm::host::fmhost {
namespace {

using mesh::Polygon;

TEST(Summary, QuadsMadeCountsNewLiveQuadrangles) {
  struct Case {
    const char* name;
    std::vector<Polygon> before, after;
    int64_t quads;
  };
  const Case cases[] = {
      {"unchanged", {{0, 1, 2, 2}, {0, 2, 3, 3}}, {{0, 1, 2, 2}, {0, 2, 3, 3}}, 0},
      {"one merge", {{0, 1, 2, 2}, {0, 2, 3, 3}}, {{0, 1, 2, 3}}, 1},
      {"quads kept", {{0, 1, 2, 3}, {0, 1, 2, 2}, {0, 2, 3, 3}}, {{0, 1, 2, 3}, {0, 1, 2, 3}}, 1},
      // A dead quad (a == b) that the run dropped is not counted against the merges.
      {"dead quad dropped", {{1, 1, 2, 3}, {0, 1, 2, 2}, {0, 2, 3, 3}}, {{0, 1, 2, 3}}, 1},
      {"dead triangle dropped", {{1, 1, 2, 2}, {0, 1, 2, 2}}, {{0, 1, 2, 2}}, 0},
      {"empty", {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(QuadsMade(c.before, c.after), c.quads);
  }
}

TEST(Summary, JsonStringsAreEscaped) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
  EXPECT_EQ(JsonString("gr\xC3\xBCn"), "\"gr\xC3\xBCn\"");
}

TEST(Summary, JsonHoldsObjectsTotalsAndTime) {
  RunSummary summary;
  summary.input = "in.obj";
  summary.output = "out.obj";
  summary.commandId = 1050896;
  summary.commandName = "Untriangulate";
  summary.objects = {{"torus", true, 1024, 512, 512}, {"panel", false, 10, 10, 0}};
  summary.seconds = 0.0123456789;
  summary.undoChecked = true;
  EXPECT_EQ(ToJson(summary),
            "{\n"
            "  \"input\": \"in.obj\",\n"
            "  \"output\": \"out.obj\",\n"
            "  \"command\": {\"id\": 1050896, \"name\": \"Untriangulate\"},\n"
            "  \"objects\": [\n"
            "    {\"name\": \"torus\", \"selected\": true, \"polygonsBefore\": 1024, "
            "\"polygonsAfter\": 512, \"quadsMade\": 512},\n"
            "    {\"name\": \"panel\", \"selected\": false, \"polygonsBefore\": 10, "
            "\"polygonsAfter\": 10, \"quadsMade\": 0}\n"
            "  ],\n"
            "  \"polygonsBefore\": 1034,\n"
            "  \"polygonsAfter\": 522,\n"
            "  \"quadsMade\": 512,\n"
            "  \"seconds\": 0.012346,\n"
            "  \"undoCheck\": \"passed\"\n"
            "}\n");
  summary.objects.clear();
  summary.undoChecked = false;
  const std::string json = ToJson(summary);
  EXPECT_NE(json.find("\"objects\": [],"), std::string::npos);
  EXPECT_NE(json.find("\"undoCheck\": null"), std::string::npos);
}

}  // namespace
}  // namespace fm::host::fmhost
