#pragma once
// What a person would see of the host while a command runs: the console, the status bar and
// message boxes, drawn from the host's UI events.
//   Terminal: console lines as they come; the status bar as one progress bar line redrawn in place
//     (carriage return), cleared when the status is reset or the run ends. Reading and writing
//     the mesh file show on the same bar.
//   Plain (output is not a terminal): console lines, and "status: TEXT" / "progress: N%" lines.
//   Summary (--json): no status bar at all; console lines go to the error stream, so that the
//     output stream carries the summary alone.
// Message boxes print as a line marked "[message box]".

#include <ostream>
#include <string>

#include "host/scene/ui_log.h"

namespace fm::host::fmhost {

class Screen {
 public:
  enum class Mode { kTerminal, kPlain, kSummary };

  Screen(std::ostream& out, std::ostream& err, Mode mode) : out_(out), err_(err), mode_(mode) {}

  void Show(const UiEvent& event);
  // A line of the host's console that did not come through a UI event (framework diagnostics).
  void ConsoleLine(const std::string& line);
  // fmhost's own long work (reading, writing) on the same bar; shown only on a terminal.
  void Progress(const std::string& text, int percent);
  // Clears a progress bar still drawn.
  void Finish();

  // The bar as drawn on a terminal, without the carriage return; exposed for tests.
  static std::string Bar(int percent, const std::string& text);

 private:
  std::ostream& Report() { return mode_ == Mode::kSummary ? err_ : out_; }
  void Line(const std::string& line);
  void Draw();
  void Erase();

  std::ostream& out_;
  std::ostream& err_;
  Mode mode_;
  std::string statusText_;
  int progress_ = 0;
  size_t drawnWidth_ = 0;  // characters of the bar line on screen; 0 when none is drawn
};

}  // namespace fm::host::fmhost
