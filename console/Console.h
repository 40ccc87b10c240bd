// The console's own routes, behind the gate: the room, what is sent to its PCs, and what the
// page hears of (calls, the log of what was sent), all as JSON.
//
//   GET    /api/room                 the PCs, the room file's problem, the call port's problem
//   POST   /api/room/pcs             adds a PC: {"number","host","port","name"?,"desk"?}
//   POST   /api/room/pcs/NN          changes PC NN: any of "host","port","name","desk" (null
//                                    takes it off the grid)
//   DELETE /api/room/pcs/NN          removes PC NN
//   POST   /api/send                 {"to":["07",…],"page":URL} or {"to":[…],"command":VERB}
//   POST   /api/calls/NN/done        the teacher has answered PC NN's call
//   GET    /api/events?after=SEQ     the events after SEQ, at once, or as soon as one happens,
//                                    or none after kLongPoll: {"next":SEQ,"events":[…]}
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
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ctl/Roster.h"
#include "platform/CodePage.h"
#include "platform/DatagramPort.h"
#include "platform/Files.h"
#include "platform/HttpServer.h"
#include "platform/Scheduler.h"

namespace console {

inline constexpr std::uint16_t kDefaultCallPort = 5000;
// Shorter than the time after which browsers and proxies give up on an answer.
inline constexpr std::chrono::seconds kLongPoll{25};
inline constexpr std::size_t kKeptEvents = 200;

struct Ports {
  platform::Files& files;
  platform::DatagramPort& datagrams;
  platform::Scheduler& scheduler;
  const platform::CodePage& codePage;
  std::function<std::int64_t()> clock;  // seconds since 1970, as the page shows times
};

class Console {
 public:
  Console(Ports ports, std::string roomFile, std::uint16_t callPort);

  // Reads the room and listens for calls; what fails shows on the page.
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
  void awaitEvents(const std::string& query, std::shared_ptr<platform::HttpResponder> responder);

  // Saves the room as `pcs`; the answer of a failure, or nothing.
  std::optional<platform::HttpResponse> save(std::vector<ctl::Agent> pcs);
  void hear(const platform::ReceivedDatagram& datagram);
  bool isAt(const ctl::Agent& pc, std::uint32_t address);
  void publish(Json event);

  Ports ports_;
  std::string roomFile_;
  std::uint16_t callPort_;
  std::vector<ctl::Agent> pcs_;
  std::string roomProblem_;
  std::string callPortProblem_;
  std::map<std::string, std::vector<std::uint32_t>> resolved_;  // host → addresses, per room
  std::deque<Json> events_;
  std::int64_t lastEvent_ = 0;
  std::vector<std::shared_ptr<Waiter>> waiters_;
};

}  // namespace console
