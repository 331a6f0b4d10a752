#include "host/fmhost/summary.h"

#include <gtest/gtest.h>

namespace fm::host::fmhost {
namespace {

TEST(Summary, QuadsAreWhatTheCommandReportedForEachWalkedObject) {
  const std::vector<std::string> console = {
      "---", "Untriangulating 12 Polygons", " ", "a: 3 Quadrangles", "b: c: 0 Quadrangles",
      "b: 2 Quadrangles", "a: 1 Quadrangles", " ", "6 Quadrangles restored in total"};
  // Names are matched in walk order, so a repeated name takes the next line, and a line that only
  // starts like another object's is not taken for it.
  EXPECT_EQ(ReportedQuads(console, {"a", "b", "a"}), (std::vector<int64_t>{3, 2, 1}));
  EXPECT_EQ(ReportedQuads(console, {"b: c"}), (std::vector<int64_t>{0}));
  // The nothing-to-do run reports no object.
  EXPECT_EQ(ReportedQuads({"---", "Nothing to untriangulate", "---"}, {"x"}),
            (std::vector<int64_t>{0}));
  EXPECT_TRUE(ReportedQuads(console, {}).empty());
}

TEST(Summary, JsonStringsAreEscaped) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
  EXPECT_EQ(JsonString("gr\xC3\xBCn"), "\"gr\xC3\xBCn\"");
}

TEST(Summary, JsonStringsAreValidUtf8WhateverTheBytes) {
  struct Case {
    const char* name;
    std::string text, json;
  };
  const Case cases[] = {
      {"stray continuation byte", "a\x80z", "\"a\\ufffdz\""},
      {"latin-1 byte", "gr\xFCn", "\"gr\\ufffdn\""},
      {"truncated sequence", "x\xE2\x82", "\"x\\ufffd\\ufffd\""},
      {"overlong slash", "\xC0\xAF", "\"\\ufffd\\ufffd\""},
      {"surrogate", "\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
      {"four-byte character", "\xF0\x9F\x99\x82", "\"\xF0\x9F\x99\x82\""},
      {"nul", std::string("a\0b", 3), "\"a\\u0000b\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(JsonString(c.text), c.json);
  }
}

TEST(Summary, JsonHoldsObjectsTotalsAndTime) {
  RunSummary summary;
  summary.input = "in.obj";
  summary.output = "out.obj";
  summary.commandId = 1050896;
  summary.commandName = "Untriangulate";
  summary.objects = {{"torus", true, 1024, 512, 512, ""}, {"panel", false, 10, 10, 0, ""}};
  summary.seconds = 0.0123456789;
  summary.undoChecked = true;
  EXPECT_EQ(ToJson(summary),
            "{\n"
            "  \"input\": \"in.obj\",\n"
            "  \"output\": \"out.obj\",\n"
            "  \"command\": {\"id\": 1050896, \"name\": \"Untriangulate\"},\n"
            "  \"objects\": [\n"
            "    {\"name\": \"torus\", \"selected\": true, \"polygonsBefore\": 1024, "
            "\"polygonsAfter\": 512, \"quadsMade\": 512, \"leftAsIs\": null},\n"
            "    {\"name\": \"panel\", \"selected\": false, \"polygonsBefore\": 10, "
            "\"polygonsAfter\": 10, \"quadsMade\": 0, \"leftAsIs\": null}\n"
            "  ],\n"
            "  \"polygonsBefore\": 1034,\n"
            "  \"polygonsAfter\": 522,\n"
            "  \"quadsMade\": 512,\n"
            "  \"mergedWithoutTexcoords\": 0,\n"
            "  \"mergedWithoutNormals\": 0,\n"
            "  \"seconds\": 0.012346,\n"
            "  \"readSeconds\": 0,\n"
            "  \"writeSeconds\": 0,\n"
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
