#include "host/fmhost/screen.h"

#include <algorithm>

namespace fm::host::fmhost {
namespace {

constexpr int kBarCells = 30;
constexpr size_t kStatusTextWidth = 44;

}  // namespace

std::string Screen::Bar(int percent, const std::string& text) {
  const int clamped = std::clamp(percent, 0, 100);
  const int filled = clamped * kBarCells / 100;
  std::string bar = "[" + std::string(static_cast<size_t>(filled), '#') +
                    std::string(static_cast<size_t>(kBarCells - filled), '-') + "] ";
  std::string number = std::to_string(percent) + "%";
  if (number.size() < 4) number.insert(0, 4 - number.size(), ' ');
  bar += number;
  if (!text.empty()) {
    bar += "  ";
    bar += text.size() > kStatusTextWidth ? text.substr(0, kStatusTextWidth - 3) + "..." : text;
  }
  return bar;
}

void Screen::Line(const std::string& line) {
  Erase();
  Report() << line << '\n';
  Report().flush();
  if (mode_ == Mode::kTerminal && (!statusText_.empty() || progress_ != 0)) Draw();
}

void Screen::Draw() {
  const std::string bar = Bar(progress_, statusText_);
  out_ << '\r' << bar;
  // Pad over what was there, so no escape sequences are needed.
  if (bar.size() < drawnWidth_) out_ << std::string(drawnWidth_ - bar.size(), ' ') << '\r' << bar;
  out_.flush();
  drawnWidth_ = bar.size();
}

void Screen::Erase() {
  if (drawnWidth_ == 0) return;
  out_ << '\r' << std::string(drawnWidth_, ' ') << '\r';
  out_.flush();
  drawnWidth_ = 0;
}

void Screen::Show(const UiEvent& event) {
  switch (event.kind) {
    case UiEventKind::PrintLine:
      Line(event.text);
      break;
    case UiEventKind::MessageBox:
      Line("[message box] " + event.text);
      break;
    case UiEventKind::StatusText:
      statusText_ = event.text;
      if (mode_ == Mode::kTerminal) Draw();
      if (mode_ == Mode::kPlain) Line("status: " + event.text);
      break;
    case UiEventKind::StatusProgress:
      progress_ = event.value;
      if (mode_ == Mode::kTerminal) Draw();
      if (mode_ == Mode::kPlain) Line("progress: " + std::to_string(event.value) + "%");
      break;
    case UiEventKind::StatusReset:
      statusText_.clear();
      progress_ = 0;
      Erase();
      break;
    default:
      break;
  }
}

void Screen::ConsoleLine(const std::string& line) { Line(line); }

void Screen::Progress(const std::string& text, int percent) {
  if (mode_ != Mode::kTerminal || (text == statusText_ && percent == progress_ && drawnWidth_ > 0)) {
    return;
  }
  statusText_ = text;
  progress_ = percent;
  Draw();
}

void Screen::Finish() {
  Erase();
  statusText_.clear();
  progress_ = 0;
}

}  // namespace fm::host::fmhost
