#include "child/RequestQueue.h"

#include <utility>

namespace child {

using namespace std::chrono_literals;

RequestQueue::RequestQueue(BrowserControl& browser, platform::Scheduler& scheduler)
    : browser_(browser), scheduler_(scheduler) {}

void RequestQueue::Add(Request request, std::string text) {
  switch (request) {
    case Request::OpenUrl:
      // Supersedes the page that waited, if one did: the commands that came before that one
      // come before this one.
      page_ = std::move(text);
      commandsBeforePage_ = commands_.size();
      browser_.EndPageWait();
      break;
    case Request::PartScreen:
    case Request::FullScreen:
    case Request::VisibleTrue:
    case Request::VisibleFalse:
    case Request::NoChange:  // a step all the same: the menu bar goes off
      if (commands_.size() == kMaxCommands) {
        commands_.pop_front();
        if (commandsBeforePage_ > 0) --commandsBeforePage_;
      }
      commands_.push_back(request);
      break;
    case Request::Refused:
    case Request::Garbled:
      return;
  }
  Schedule();
}

// Posted rather than run at once: each datagram that the endpoint holds now raises its arrival
// before this, so that a page already superseded is never sent to the browser.
void RequestQueue::Schedule() {
  if (std::exchange(scheduled_, true)) return;
  scheduler_.runLater(0ms, [this] { Run(); });
}

void RequestQueue::Run() {
  scheduled_ = false;
  while (!busy_ && (page_ || !commands_.empty())) {
    if (page_ && commandsBeforePage_ == 0) {
      Open(*std::exchange(page_, std::nullopt));
      continue;
    }
    const Request command = commands_.front();
    commands_.pop_front();
    if (commandsBeforePage_ > 0) --commandsBeforePage_;
    CarryOut(command);
  }
}

void RequestQueue::Open(std::string url) {
  busy_ = true;
  browser_.ShowPage(url, [this] {
    Done();
    Schedule();
  });
  // A newer page that came while a message box showed, before there was a wait to end.
  if (busy_ && page_) browser_.EndPageWait();
}

void RequestQueue::CarryOut(Request command) {
  busy_ = true;
  switch (command) {
    case Request::PartScreen:
    case Request::FullScreen:
      browser_.SetFullScreen(command == Request::FullScreen);
      break;
    case Request::VisibleTrue:
    case Request::VisibleFalse:
      browser_.SetVisible(command == Request::VisibleTrue);
      break;
    default:
      break;
  }
  Done();
}

void RequestQueue::Done() {
  busy_ = false;
  browser_.HideMenuBar();
}

}  // namespace child
