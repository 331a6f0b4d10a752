#pragma once
// Everything a module shows or announces through the host, in one ordered log: console lines,
// status bar, user-interface state, message boxes, update requests, undo calls and node messages.
// Listeners see each event as it is recorded (fmhost prints and draws from them).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fm::host {

enum class UiEventKind {
  PrintLine,       // text
  StatusText,      // text
  StatusProgress,  // value = percent
  StatusReset,
  UiState,      // value = state
  MessageBox,   // text, value = style
  HostUpdate,   // value = flags
  UndoStart,    // subject = document
  UndoEnd,      // subject = document
  UndoAdd,      // subject = node, value = undo kind, text = node name
  NodeMessage,  // subject = node, value = message id, text = node name
};

struct UiEvent {
  UiEventKind kind = UiEventKind::PrintLine;
  std::string text;
  int32_t value = 0;
  const void* subject = nullptr;
};

// A short readable form such as `PrintLine "text"` or `StatusProgress 50`, for test messages.
std::string Describe(const UiEvent& event);

class UiLog {
 public:
  using Listener = std::function<void(const UiEvent&)>;

  void Record(UiEvent event);
  const std::vector<UiEvent>& Events() const { return events_; }
  void Clear();

  // Events of one kind, in order.
  std::vector<UiEvent> OfKind(UiEventKind kind) const;
  // The console lines printed so far.
  std::vector<std::string> ConsoleLines() const;

  // Current status bar and user-interface state (status cleared: empty text, progress 0).
  const std::string& StatusText() const { return statusText_; }
  int32_t StatusProgress() const { return statusProgress_; }
  int32_t UiState() const { return uiState_; }

  // Returns an id for RemoveListener.
  int AddListener(Listener listener);
  void RemoveListener(int id);

 private:
  std::vector<UiEvent> events_;
  std::vector<std::pair<int, Listener>> listeners_;
  int nextListener_ = 1;
  std::string statusText_;
  int32_t statusProgress_ = 0;
  int32_t uiState_ = 0;
};

}  // namespace fm::host
