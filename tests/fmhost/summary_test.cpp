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
  const auto Object = [](const char* name, bool selected, int64_t before, int64_t after,
                         int64_t quads) {
    ObjectSummary object;
    object.name = name;
    object.selected = selected;
    object.polygonsBefore = before;
    object.polygonsAfter = after;
    object.quadsMade = quads;
    return object;
  };
  summary.objects = {Object("torus", true, 1024, 512, 512), Object("panel", false, 10, 10, 0)};
  summary.objects[0].order = "second triangles from polygon 512 on";
  summary.objects[0].reordered = true;
  summary.seconds = 0.0123456789;
  summary.undoChecked = true;
  EXPECT_EQ(ToJson(summary),
            "{\n"
            "  \"input\": \"in.obj\",\n"
            "  \"output\": \"out.obj\",\n"
            "  \"command\": {\"id\": 1050896, \"name\": \"Untriangulate\"},\n"
            "  \"objects\": [\n"
            "    {\"name\": \"torus\", \"selected\": true, \"polygonsBefore\": 1024, "
            "\"polygonsAfter\": 512, \"quadsMade\": 512, \"leftAsIs\": null, "
            "\"layout\": null, \"polygon0PairsWith\": null, \"foldedQuads\": 0, \"orderHint\": null, "
      "\"order\": \"second triangles from polygon 512 on\", \"reordered\": true},\n"
            "    {\"name\": \"panel\", \"selected\": false, \"polygonsBefore\": 10, "
            "\"polygonsAfter\": 10, \"quadsMade\": 0, \"leftAsIs\": null, "
            "\"layout\": null, \"polygon0PairsWith\": null, \"foldedQuads\": 0, \"orderHint\": null, "
      "\"order\": null, \"reordered\": false}\n"
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

TEST(Summary, ReportLinesSayWhyEachObjectGotItsQuads) {
  const auto Object = [](const char* name, const char* layout, int64_t polygons, int64_t half,
                         int64_t pairsWith) {
    ObjectSummary object;
    object.name = name;
    object.selected = true;
    object.polygonsBefore = polygons;
    object.layout = layout;
    object.half = half;
    object.polygon0PairsWith = pairsWith;
    return object;
  };
  RunSummary summary;
  summary.objects.push_back(Object("cone", "halves", 32, 16, -1));
  summary.objects.back().mergedQuads = 16;
  summary.objects.back().foldedQuads = 16;
  summary.objects.push_back(Object("grid", "adjacent", 8, 4, -1));
  summary.objects.push_back(Object("sphere", "adjacent", 10, 5, -1));
  summary.objects.back().order = "second triangles from polygon 6 on";
  summary.objects.back().reordered = true;
  summary.objects.push_back(Object("monkey", "none", 968, 484, 37));
  summary.objects.push_back(Object("mon\x1bkey", "none", 9, 4, 7));
  summary.objects.back().orderHint = "second triangles follow the first ones";
  summary.objects.push_back(Object("loner", "none", 3, 1, -1));
  summary.objects.push_back(Object("dot", "none", 1, 0, -1));
  ObjectSummary left = Object("pent", "", 2, 0, -1);
  left.selected = false;
  left.leftAsIs = "line 3 has a face of 5 corners";
  summary.objects.push_back(left);
  summary.objects.push_back(Object("unwalked", "", 4, 0, -1));
  summary.mergedWithoutNormals = 3;
  EXPECT_EQ(ReportLines(summary),
            (std::vector<std::string>{
                "'cone': pairs read as halves (polygon i with polygon i + 16)",
                "16 of 16 quads made in 'cone' are folded more than 60\u00b0: its triangles may "
                "not come from quadrangles",
                "'grid': pairs read as adjacent (polygon i with polygon i + 1)",
                "'sphere': pairs read as adjacent in the order fmhost handed over, each first "
                "triangle followed by its second; the file's order: second triangles from "
                "polygon 6 on",
                "'monkey': no pair layout: polygon 0 pairs with neither polygon 484 nor polygon 1, "
                "but with polygon 37",
                "'mon\\x1bkey': no pair layout: polygon 0 pairs with neither polygon 4 nor "
                "polygon 1, but with polygon 7",
                "'mon\\x1bkey': second triangles follow the first ones",
                "'loner': no pair layout: polygon 0 does not pair with polygon 1, nor with any "
                "other polygon",
                "'dot': no pair layout: it has fewer than two polygons",
                "'pent' left as it is: line 3 has a face of 5 corners",
                "3 merged faces were written without normals: only some of their corners had them",
            }));
}

}  // namespace
}  // namespace fm::host::fmhost
