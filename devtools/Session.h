// One browser program driven over its DevTools pipe: the agent's browser as the protocol gives it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Browser.h"
#include "platform/BrowserProgram.h"
#include "platform/Scheduler.h"

namespace devtools {

// Finds the one page of the program's window (it is started as an "--app" window), attaches
// to it and learns its window; what the agent asks before then is kept, the latest of each kind,
// and done once it is ready. The program goes with the session, or soon after the session finds
// the browser gone.
class Session final : public platform::Browser {
 public:
  // How a browser went: without ever answering on its pipe (a policy can refuse the pipe that
  // way), or after it had.
  enum class End { Refused, Gone };
  // How long a browser may take to be ready for pages; one that has not answered by then is
  // taken as refusing its pipe.
  static constexpr std::chrono::seconds kReadyLimit{10};

  // `ended` is called once, when the browser is found gone; not when the session is dropped.
  Session(platform::Scheduler& scheduler, std::function<void(End)> ended);
  ~Session() override;
  // Starts the program and the protocol; returns the start's outcome, its program kept.
  platform::BrowserProgramStart start(platform::BrowserPrograms& programs);

  bool alive() override { return !gone_; }
  void navigate(std::string_view url) override;
  void setVisible(bool visible) override;
  bool busy() override;
  bool whenLoaded(std::function<void()> loaded) override;
  void setFullScreen(bool on) override;
  // The "--app" window has neither bar: there is nothing to switch off.
  void setToolBar(bool) override {}
  void setMenuBar(bool) override {}

 private:
  using Json = nlohmann::json;
  using Handler = std::function<void(const Json& answer)>;
  enum class Load { None, Answer, Frame };  // what the latest navigation waits for

  // Returns the request's id.
  std::int64_t Send(std::string method, Json params, Handler answered, bool onPage = false);
  void Receive(std::string_view bytes);
  void Take(std::string_view text);
  void Event(const Json& message);
  void Attach(std::string targetId);
  void Ready();
  void SendNavigate();
  void Navigated(const Json& answer);
  void SendWindowState();
  void Loaded();
  void Drop();
  bool ready() const { return windowId_.has_value() && !gone_; }

  platform::Scheduler& scheduler_;
  std::function<void(End)> ended_;
  std::unique_ptr<platform::BrowserProgram> program_;
  // For the steps without which the browser cannot be driven: an error answer ends the session.
  const Handler needed_;
  // Deferred tasks hold it weakly: gone, the session is too.
  const std::shared_ptr<char> lifetime_ = std::make_shared<char>();
  std::string unended_;  // the bytes of a message whose NUL has not come yet
  std::int64_t lastId_ = 0;
  std::map<std::int64_t, Handler> waiting_;
  bool answered_ = false;
  bool gone_ = false;
  std::string targetId_;
  std::string sessionId_;
  std::optional<std::int64_t> windowId_;
  // The agent's latest wishes: kept until the browser is ready.
  bool visible_ = false;
  std::optional<bool> fullScreen_;
  std::optional<std::string> url_;
  Load load_ = Load::None;
  std::int64_t navigation_ = 0;  // the latest Page.navigate's id
  std::string frameId_;          // the main frame it loads
  std::function<void()> loaded_;
};

}  // namespace devtools
