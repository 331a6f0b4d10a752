#include "host/fmhost/screen.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fm::host::fmhost {
namespace {

UiEvent Print(std::string text) { return UiEvent{UiEventKind::PrintLine, std::move(text), 0, nullptr}; }
UiEvent Status(std::string text) { return UiEvent{UiEventKind::StatusText, std::move(text), 0, nullptr}; }
UiEvent Progress(int value) { return UiEvent{UiEventKind::StatusProgress, {}, value, nullptr}; }
UiEvent Reset() { return UiEvent{UiEventKind::StatusReset, {}, 0, nullptr}; }
UiEvent Box(std::string text) { return UiEvent{UiEventKind::MessageBox, std::move(text), 48, nullptr}; }

// A run as the command shows it: banner, status and progress per object, report, reset.
std::vector<UiEvent> ARun() {
  return {Print("banner"), Progress(0), Status("Working on torus"), Print("torus: 3 Quadrangles"),
          Progress(75), Reset(), Box("nothing"), {UiEventKind::UiState, {}, 2, nullptr},
          Print("end")};
}

// What a terminal shows once carriage returns have moved the cursor: the last text of each line.
std::string Settle(const std::string& raw) {
  std::string screen, line;
  size_t column = 0;
  for (char c : raw) {
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      while (!line.empty() && line.back() == ' ') line.pop_back();
      screen += line + '\n';
      line.clear();
      column = 0;
    } else {
      if (column < line.size()) line[column] = c; else line.push_back(c);
      ++column;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return screen + line;
}

TEST(Screen, PlainOutputPrintsTheStatusBarAsLines) {
  std::ostringstream out, err;
  Screen screen(out, err, Screen::Mode::kPlain);
  for (const UiEvent& event : ARun()) screen.Show(event);
  screen.Finish();
  EXPECT_EQ(out.str(),
            "banner\nprogress: 0%\nstatus: Working on torus\ntorus: 3 Quadrangles\n"
            "progress: 75%\n[message box] nothing\nend\n");
  EXPECT_EQ(err.str(), "");
}

TEST(Screen, ATerminalRedrawsOneBarInPlaceAndClearsIt) {
  std::ostringstream out, err;
  Screen screen(out, err, Screen::Mode::kTerminal);
  for (const UiEvent& event : ARun()) screen.Show(event);
  screen.Finish();
  EXPECT_EQ(Settle(out.str()), "banner\ntorus: 3 Quadrangles\n[message box] nothing\nend\n");
  // The bar was drawn with the object's text and redrawn after the console line.
  EXPECT_NE(out.str().find("\r" + Screen::Bar(0, "Working on torus")), std::string::npos);
  EXPECT_NE(out.str().find("\r" + Screen::Bar(75, "Working on torus")), std::string::npos);
  EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
}

TEST(Screen, ABarThatIsStillDrawnIsClearedAtTheEnd) {
  std::ostringstream out, err;
  Screen screen(out, err, Screen::Mode::kTerminal);
  screen.Show(Status("a long status text that is longer"));
  screen.Show(Status("short"));
  EXPECT_EQ(Settle(out.str()), Screen::Bar(0, "short"));
  screen.Finish();
  EXPECT_EQ(Settle(out.str()), "");
}

TEST(Screen, SummaryModeSendsTheConsoleToTheErrorStreamAndDrawsNoBar) {
  std::ostringstream out, err;
  Screen screen(out, err, Screen::Mode::kSummary);
  for (const UiEvent& event : ARun()) screen.Show(event);
  screen.ConsoleLine("diagnostic");
  screen.Finish();
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "banner\ntorus: 3 Quadrangles\n[message box] nothing\nend\ndiagnostic\n");
}

TEST(Screen, BarShowsTheFillThePercentAndAShortenedText) {
  struct Case {
    int percent;
    std::string text;
    std::string bar;
  };
  const Case cases[] = {
      {0, "", "[------------------------------]   0%"},
      {50, "x", "[###############---------------]  50%  x"},
      {100, "", "[##############################] 100%"},
      {140, "", "[##############################] 140%"},
      {-5, "", "[------------------------------]  -5%"},
      {10, std::string(50, 'n'), "[###---------------------------]  10%  " + std::string(41, 'n') + "..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.percent);
    EXPECT_EQ(Screen::Bar(c.percent, c.text), c.bar);
  }
}

}  // namespace
}  // namespace fm::host::fmhost
