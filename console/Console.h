// The console's own routes, behind the gate: the room, what is sent to its PCs, and what the
// page hears of (calls, the log of what was sent), all as JSON.
//
//   GET    /api/room                 the PCs, the room file's problem, the call port and its
//                                    problem, this PC ("thisPc": {"name","addresses"})
//   POST   /api/room/pcs             adds a PC: {"number","host","port","name"?,"desk"?}
//   POST   /api/room/pcs/NN          changes PC NN: any of "host","port","name","desk" (null
//                                    takes it off the grid)
//   DELETE /api/room/pcs/NN          removes PC NN
//   POST   /api/send                 {"to":["07",…],"page":URL} or {"to":[…],"command":VERB}
//   POST   /api/calls/NN/done        the teacher has answered PC NN's call
//   POST   /api/settings             {"callPort":N}: saved, and the console listens there
//   GET    /api/events?after=SEQ     the events after SEQ, at once, or as soon as one happens,
//                                    or none after kLongPoll: {"next":SEQ,"events":[…]}; a
//                                    {"kind":"room"} says that GET /api/room has changed
//
// A desk is {"column","row"}, 1-99 each. Every change of the room is saved at once, in one step;
// a room file the console cannot read is shown, never overwritten.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ctl/Roster.h"
#include "platform/CodePage.h"
#include "platform/DatagramPort.h"
#include "platform/Files.h"
#include "platform/HttpServer.h"
#include "platform/Resolver.h"
#include "platform/Scheduler.h"
#include "platform/ThisComputer.h"

namespace console {

inline constexpr std::uint16_t kDefaultCallPort = 5000;
// Shorter than the time after which browsers and proxies give up on an answer.
inline constexpr std::chrono::seconds kLongPoll{25};
inline constexpr std::size_t kKeptEvents = 200;

struct Ports {
  platform::Files& files;
  platform::DatagramPort& datagrams;
  platform::Resolver& resolver;
  platform::Scheduler& scheduler;
  const platform::CodePage& codePage;
  std::function<std::int64_t()> clock;  // seconds since 1970, as the page shows times
  std::function<platform::ThisComputer()> thisComputer;
};

class Console {
 public:
  // `folder` is the teacher's own settings folder, which holds the room file (room.txt, as
  // velostrander-ctl reads it) and the console's settings (console.ini). `callPort`, when given,
  // is listened on instead of the saved one, until the page saves another.
  Console(Ports ports, const std::string& folder, std::optional<std::uint16_t> callPort);

  // Reads the room and the settings, and listens for calls; what fails shows on the page.
  void start();
  void handle(const platform::HttpRequest& request,
              std::shared_ptr<platform::HttpResponder> responder);

 private:
  struct Waiter;
  using Json = nlohmann::json;

  platform::HttpResponse room() const;
  platform::HttpResponse add(const Json& body);
  platform::HttpResponse change(const std::string& number, const Json& body);
  platform::HttpResponse remove(const std::string& number);
  platform::HttpResponse send(const Json& body);
  platform::HttpResponse done(const std::string& number);
  platform::HttpResponse settings(const Json& body);
  void awaitEvents(const std::string& query, std::shared_ptr<platform::HttpResponder> responder);

  // Saves the room as `pcs`; the answer of a failure, or nothing.
  std::optional<platform::HttpResponse> save(std::vector<ctl::Agent> pcs);
  void listen();
  void lookUpRoom();
  void hear(const platform::ReceivedDatagram& datagram);
  void releaseCalls();
  std::optional<Json> judge(const platform::ReceivedDatagram& call) const;
  void publish(Json event);

  Ports ports_;
  std::string roomFile_;
  std::string settingsFile_;
  std::optional<std::uint16_t> callPortOverride_;
  std::uint16_t callPort_ = kDefaultCallPort;
  std::vector<ctl::Agent> pcs_;
  std::string roomProblem_;
  std::string callPortProblem_;
  // host → addresses, for the hosts of the room; a host not here is still being looked up.
  std::map<std::string, std::vector<std::uint32_t>> resolved_;
  std::set<std::string> lookingUp_;
  // Calls in the order they came, each held until the lookups it needs are answered.
  std::deque<std::pair<platform::ReceivedDatagram, std::int64_t>> heldCalls_;  // with the time
  std::deque<Json> events_;
  std::int64_t lastEvent_ = 0;
  std::vector<std::shared_ptr<Waiter>> waiters_;
};

}  // namespace console
