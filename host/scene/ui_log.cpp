#include "host/scene/ui_log.h"

#include <algorithm>

namespace fm::host {
namespace {

const char* KindName(UiEventKind kind) {
  switch (kind) {
    case UiEventKind::PrintLine:
      return "PrintLine";
    case UiEventKind::StatusText:
      return "StatusText";
    case UiEventKind::StatusProgress:
      return "StatusProgress";
    case UiEventKind::StatusReset:
      return "StatusReset";
    case UiEventKind::UiState:
      return "UiState";
    case UiEventKind::MessageBox:
      return "MessageBox";
    case UiEventKind::HostUpdate:
      return "HostUpdate";
    case UiEventKind::UndoStart:
      return "UndoStart";
    case UiEventKind::UndoEnd:
      return "UndoEnd";
    case UiEventKind::UndoAdd:
      return "UndoAdd";
    case UiEventKind::NodeMessage:
      return "NodeMessage";
  }
  return "?";
}

bool HasText(UiEventKind kind) {
  return kind == UiEventKind::PrintLine || kind == UiEventKind::StatusText ||
         kind == UiEventKind::MessageBox || kind == UiEventKind::UndoAdd ||
         kind == UiEventKind::NodeMessage;
}

bool HasValue(UiEventKind kind) {
  return kind == UiEventKind::StatusProgress || kind == UiEventKind::UiState ||
         kind == UiEventKind::MessageBox || kind == UiEventKind::HostUpdate ||
         kind == UiEventKind::UndoAdd || kind == UiEventKind::NodeMessage;
}

}  // namespace

std::string Describe(const UiEvent& event) {
  std::string out = KindName(event.kind);
  if (HasText(event.kind)) out += " \"" + event.text + "\"";
  if (HasValue(event.kind)) out += " " + std::to_string(event.value);
  return out;
}

void UiLog::Record(UiEvent event) {
  switch (event.kind) {
    case UiEventKind::StatusText:
      statusText_ = event.text;
      break;
    case UiEventKind::StatusProgress:
      statusProgress_ = event.value;
      break;
    case UiEventKind::StatusReset:
      statusText_.clear();
      statusProgress_ = 0;
      break;
    case UiEventKind::UiState:
      uiState_ = event.value;
      break;
    default:
      break;
  }
  events_.push_back(std::move(event));
  // A listener may add or remove listeners; walk a copy.
  const auto listeners = listeners_;
  for (const auto& [id, listener] : listeners) listener(events_.back());
}

void UiLog::Clear() {
  events_.clear();
  statusText_.clear();
  statusProgress_ = 0;
  uiState_ = 0;
}

std::vector<UiEvent> UiLog::OfKind(UiEventKind kind) const {
  std::vector<UiEvent> out;
  std::copy_if(events_.begin(), events_.end(), std::back_inserter(out),
               [kind](const UiEvent& event) { return event.kind == kind; });
  return out;
}

std::vector<std::string> UiLog::ConsoleLines() const {
  std::vector<std::string> out;
  for (const UiEvent& event : events_) {
    if (event.kind == UiEventKind::PrintLine) out.push_back(event.text);
  }
  return out;
}

int UiLog::AddListener(Listener listener) {
  listeners_.emplace_back(nextListener_, std::move(listener));
  return nextListener_++;
}

void UiLog::RemoveListener(int id) {
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

}  // namespace fm::host
