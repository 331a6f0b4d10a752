#include "host/framework/console.h"

#include <mutex>

namespace fm::host {
namespace {

constexpr uint32_t kAllChannels = 7;

struct Console {
  std::mutex mutex;
  std::vector<std::string> lines;
  std::string pending;
  std::vector<ConsoleCall> calls;
  std::function<void(const std::string&)> listener;
  uint32_t mask = kAllChannels;
};

Console& TheConsole() {
  static auto* console = new Console;  // never destroyed: modules may write while unloading
  return *console;
}

}  // namespace

void ConsoleWrite(const char* text, const char* file, int64_t line, int64_t flags) {
  Console& console = TheConsole();
  std::vector<std::string> finished;
  std::function<void(const std::string&)> listener;
  {
    std::lock_guard<std::mutex> lock(console.mutex);
    const std::string value = text ? text : "";
    console.calls.push_back(ConsoleCall{value, file ? file : "", line, flags});
    for (char c : value) {
      if (c == '\n') {
        console.lines.push_back(console.pending);
        finished.push_back(std::move(console.pending));
        console.pending.clear();
      } else {
        console.pending += c;
      }
    }
    listener = console.listener;
  }
  if (listener)
    for (const std::string& done : finished) listener(done);
}

std::vector<std::string> ConsoleLines() {
  Console& console = TheConsole();
  std::lock_guard<std::mutex> lock(console.mutex);
  std::vector<std::string> out = console.lines;
  if (!console.pending.empty()) out.push_back(console.pending);
  return out;
}

std::vector<ConsoleCall> ConsoleCalls() {
  Console& console = TheConsole();
  std::lock_guard<std::mutex> lock(console.mutex);
  return console.calls;
}

void ClearConsole() {
  Console& console = TheConsole();
  std::lock_guard<std::mutex> lock(console.mutex);
  console.lines.clear();
  console.pending.clear();
  console.calls.clear();
}

void SetConsoleListener(std::function<void(const std::string&)> listener) {
  Console& console = TheConsole();
  std::lock_guard<std::mutex> lock(console.mutex);
  console.listener = std::move(listener);
}

uint32_t ConsoleOutputMask() {
  Console& console = TheConsole();
  std::lock_guard<std::mutex> lock(console.mutex);
  return console.mask;
}

void SetConsoleOutputMask(uint32_t mask) {
  Console& console = TheConsole();
  std::lock_guard<std::mutex> lock(console.mutex);
  console.mask = mask;
}

}  // namespace fm::host
