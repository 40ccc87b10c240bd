#include "devtools/Session.h"

#include "devtools/Address.h"

#include <nlohmann/json.hpp>
#include <utility>

namespace devtools {
namespace {

using namespace std::chrono_literals;

using Json = nlohmann::json;

// Far beyond any message the agent's calls bring (the longest carry a page's address, which
// Chromium bounds at 2 MB): a peer that sends more without a NUL is no browser to wait for.
constexpr std::size_t kLongestMessage = std::size_t{16} << 20;

// The member `key` of an object, or null: the shapes of the browser's messages are checked, never
// assumed.
const Json* Member(const Json* object, const char* key) {
  if (!object || !object->is_object()) return nullptr;
  const auto found = object->find(key);
  return found == object->end() ? nullptr : &*found;
}

std::string Text(const Json* object, const char* key) {
  const Json* member = Member(object, key);
  return member && member->is_string() ? member->get<std::string>() : std::string();
}

std::optional<std::int64_t> Integer(const Json* object, const char* key) {
  const Json* member = Member(object, key);
  if (!member || !member->is_number_integer()) return std::nullopt;
  return member->get<std::int64_t>();
}

// An answer's result; null for an error answer.
const Json* Result(const Json& answer) {
  const Json* result = Member(&answer, "result");
  return result && result->is_object() ? result : nullptr;
}

}  // namespace

Session::Session(platform::Scheduler& scheduler, std::function<void(End)> ended)
    : scheduler_(scheduler), ended_(std::move(ended)), needed_([this](const Json& answer) {
        if (!Result(answer)) Drop();
      }) {}

// Whatever the program's ending raises finds the session gone already.
Session::~Session() {
  gone_ = true;
  program_.reset();
}

platform::BrowserProgramStart Session::start(platform::BrowserPrograms& programs) {
  auto start =
      programs.start({[this](std::string_view bytes) { Receive(bytes); }, [this] { Drop(); }});
  program_ = std::move(start.program);
  gone_ = !program_;
  if (gone_) return start;
  // Discovery rather than a list of targets: the window's page may come a moment after the
  // browser's first answer, and its end is then reported too.
  Send("Target.setDiscoverTargets", {{"discover", true}}, needed_);
  scheduler_.runLater(kReadyLimit, [this, lifetime = std::weak_ptr(lifetime_)] {
    if (!lifetime.expired() && !ready()) Drop();
  });
  return start;
}

std::int64_t Session::Send(std::string method, Json params, Handler answered, bool onPage) {
  Json message{{"id", ++lastId_}, {"method", std::move(method)}};
  if (!params.is_null()) message["params"] = std::move(params);
  if (onPage) message["sessionId"] = sessionId_;
  if (answered) waiting_.emplace(lastId_, std::move(answered));
  // An address the agent got as UTF-8 stays one; a broken one is sent repaired, not thrown on.
  program_->send(message.dump(-1, ' ', false, Json::error_handler_t::replace) + '\0');
  return lastId_;
}

void Session::Receive(std::string_view bytes) {
  if (gone_) return;
  // The bytes before the new ones hold no NUL: they are not looked through again.
  std::size_t end = unended_.size();
  unended_.append(bytes);
  std::size_t start = 0;
  for (; !gone_ && (end = unended_.find('\0', end)) != std::string::npos; start = ++end) {
    Take(std::string_view(unended_).substr(start, end - start));
  }
  unended_.erase(0, start);
  if (unended_.size() > kLongestMessage) Drop();
}

// A text that is no JSON takes the browser as gone: Chromium never sends one, and whatever
// answer it stood for would be waited for in vain. A JSON text of a shape the agent does not know
// is skipped: the protocol grows new events and members, which are none of the agent's business.
void Session::Take(std::string_view text) {
  const Json message = Json::parse(text, nullptr, false);
  if (message.is_discarded()) return Drop();
  const std::optional<std::int64_t> id = Integer(&message, "id");
  if (!id) return Event(message);
  const auto found = waiting_.find(*id);
  if (found == waiting_.end()) return;
  const Handler answered = std::move(found->second);
  waiting_.erase(found);
  answered_ = answered_ || Result(message);
  answered(message);
}

void Session::Event(const Json& message) {
  const std::string method = Text(&message, "method");
  const Json* params = Member(&message, "params");
  if (method == "Target.targetCreated") {
    const Json* target = Member(params, "targetInfo");
    std::string id = Text(target, "targetId");
    if (targetId_.empty() && !id.empty() && Text(target, "type") == "page") Attach(std::move(id));
  } else if (method == "Target.targetDestroyed" || method == "Target.detachedFromTarget") {
    // The window closed, by the user say, while the browser's process may linger.
    if (!targetId_.empty() && Text(params, "targetId") == targetId_) Drop();
  } else if (load_ == Load::Frame && !sessionId_.empty() &&
             Text(&message, "sessionId") == sessionId_) {
    if (method == "Page.loadEventFired" ||
        (method == "Page.frameStoppedLoading" && Text(params, "frameId") == frameId_)) {
      Loaded();
    }
  }
}

void Session::Attach(std::string targetId) {
  targetId_ = std::move(targetId);
  Send("Target.attachToTarget", {{"targetId", targetId_}, {"flatten", true}},
       [this](const Json& answer) {
         sessionId_ = Text(Result(answer), "sessionId");
         if (sessionId_.empty()) return Drop();
         // Without its events no page would ever count as loaded.
         Send("Page.enable", nullptr, needed_, true);
         Send("Browser.getWindowForTarget", {{"targetId", targetId_}}, [this](const Json& window) {
           windowId_ = Integer(Result(window), "windowId");
           windowId_ ? Ready() : Drop();
         });
       });
}

// The window is shown only now, the agent's new browser being a hidden one until asked.
void Session::Ready() {
  // A download is the student's to ask for by hand, not a sender's to fill the disk with, one
  // address after another.
  Send("Browser.setDownloadBehavior", {{"behavior", "deny"}}, nullptr);
  program_->showWindows(visible_, fullScreen_.value_or(false));
  if (fullScreen_) SendWindowState();
  if (url_) SendNavigate();
}

void Session::navigate(std::string_view url) {
  if (gone_) return;
  url_ = Address(url);
  load_ = Load::Answer;
  if (ready()) SendNavigate();
}

void Session::SendNavigate() {
  navigation_ = Send(
      "Page.navigate", {{"url", *std::exchange(url_, std::nullopt)}},
      [this](const Json& answer) { Navigated(answer); }, true);
}

// Loads that end before the answer are an earlier page's. No loader: a move within the document;
// an error text: a navigation that failed at once (its error page is not waited for).
void Session::Navigated(const Json& answer) {
  if (Integer(&answer, "id") != navigation_) return;
  const Json* result = Result(answer);
  frameId_ = Text(result, "frameId");
  const bool loads = !Text(result, "loaderId").empty() && Text(result, "errorText").empty();
  if (loads) {
    load_ = Load::Frame;
  } else {
    Loaded();
  }
}

bool Session::busy() {
  return !gone_ && load_ != Load::None;
}

bool Session::whenLoaded(std::function<void()> loaded) {
  loaded_ = std::move(loaded);
  if (!busy()) Loaded();
  return true;
}

// From the event loop: whoever waited may drop the session, which must not go from within its own
// reading.
void Session::Loaded() {
  load_ = Load::None;
  if (auto loaded = std::exchange(loaded_, nullptr)) scheduler_.runLater(0ms, std::move(loaded));
}

void Session::setVisible(bool visible) {
  visible_ = visible;
  if (ready()) program_->showWindows(visible, fullScreen_.value_or(false));
}

void Session::setFullScreen(bool on) {
  fullScreen_ = on;
  if (ready()) SendWindowState();
}

void Session::SendWindowState() {
  Send("Browser.setWindowBounds",
       {{"windowId", *windowId_},
        {"bounds", {{"windowState", *fullScreen_ ? "fullscreen" : "normal"}}}},
       nullptr);
}

// The program is dropped from the event loop, not from within its own event.
void Session::Drop() {
  if (gone_) return;
  gone_ = true;
  waiting_.clear();
  Loaded();
  if (const auto ended = std::exchange(ended_, nullptr))
    ended(answered_ ? End::Gone : End::Refused);
  scheduler_.runLater(0ms, [this, lifetime = std::weak_ptr(lifetime_)] {
    if (!lifetime.expired()) program_.reset();
  });
}

}  // namespace devtools
