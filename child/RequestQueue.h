// The master's requests on their way to the browser: taken as each datagram arrives, carried out
// in order, one at a time, where the latest page wins. A page that a later page already waiting
// supersedes is never opened, and a newer page ends the wait for the one that loads: a run of
// pages, real-looking or not, holds the next one up for no page wait at all. The commands between
// them are all carried out, in their order against the page that is opened, so that the screen
// ends as it would have after every step.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "child/BrowserControl.h"
#include "child/Datagram.h"
#include "platform/Scheduler.h"

namespace child {

class RequestQueue {
 public:
  // Commands that may wait at once, far more than a console sends while one page loads. The
  // oldest goes first when a flood of them would pass it; the waiting page never does, being the
  // newest of the pages. With the one page (a datagram's text, at most 65,507 bytes in the code
  // page and three times that in UTF-8), this bounds what waits.
  static constexpr std::size_t kMaxCommands = 100;

  RequestQueue(BrowserControl& browser, platform::Scheduler& scheduler);

  // A datagram's text and what it asks. A page and the commands are kept, a command of no known
  // verb as a step that only switches the menu bar off; junk and refused addresses cost no wait
  // and no call into the browser. What is kept is carried out from the
  // event loop, once the datagrams that came with it have been taken too.
  // After the browser's release at shutdown, whatever still waits comes to nothing.
  void Add(Request request, std::string text);

 private:
  void Schedule();
  void Run();
  void Open(std::string url);
  void CarryOut(Request command);
  void Done();

  BrowserControl& browser_;
  platform::Scheduler& scheduler_;
  std::deque<Request> commands_;
  std::optional<std::string> page_;
  std::size_t commandsBeforePage_ = 0;  // of commands_, those that came before page_
  bool scheduled_ = false;
  // A request is being carried out: its page loads, or a message box shows meanwhile (whose
  // event loop may run the queue again: it does not start another).
  bool busy_ = false;
};

}  // namespace child
