#pragma once
// Where the modules' framework diagnostics arrive ("_ConsoleOutput") and the channel mask the host
// answers to "GetConsoleOutputType". Texts are joined as they come: a text without a line end
// continues the line, so the recorded lines are what a person would see on a console.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fm::host {

struct ConsoleCall {
  std::string text;  // as the module passed it, line end included
  std::string file;  // source location the module gave, "" when none
  int64_t line;
  int64_t flags;
};

// Appends a module's text to the console.
void ConsoleWrite(const char* text, const char* file, int64_t line, int64_t flags);

// Complete lines so far (without line ends), then the unfinished one when it is not empty.
std::vector<std::string> ConsoleLines();
// Every call as received.
std::vector<ConsoleCall> ConsoleCalls();
void ClearConsole();

// Called with each complete line as it is finished (fmhost prints them). Null to stop.
void SetConsoleListener(std::function<void(const std::string& line)> listener);

// Channel bits (1 diagnostic, 2 warning, 4 critical) the host wants to see; 7 at start.
uint32_t ConsoleOutputMask();
void SetConsoleOutputMask(uint32_t mask);

}  // namespace fm::host
