#include "console/Console.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/Protocol.h"
#include "common/RefusedAddress.h"
#include "ctl/Address.h"
#include "ctl/Wire.h"
#include "platform/Paths.h"

namespace console {
namespace {

using platform::HttpResponse;
using Json = nlohmann::json;

constexpr std::string_view kPcsPath = "/api/room/pcs";
constexpr std::string_view kCallPortKey = "CallPort=";
constexpr std::array<std::string_view, 4> kVerbs{protocol::kFullScreen, protocol::kPartScreen,
                                                 protocol::kVisibleTrue, protocol::kVisibleFalse};

// Names and hosts from the file may be any bytes; the page gets U+FFFD for what is no UTF-8.
HttpResponse Answer(int status, const Json& body) {
  return {status,
          {{"Content-Type", "application/json; charset=utf-8"}},
          body.dump(-1, ' ', false, Json::error_handler_t::replace)};
}

HttpResponse Problem(int status, const std::string& message) {
  return Answer(status, {{"problem", message}});
}

Json DeskJson(const std::optional<ctl::Desk>& desk) {
  return desk ? Json{{"column", desk->column}, {"row", desk->row}} : Json(nullptr);
}

Json PcJson(const ctl::Agent& pc) {
  return {{"number", pc.number},
          {"host", pc.destination.host},
          {"port", pc.destination.port},
          {"name", pc.name},
          {"desk", DeskJson(pc.desk)}};
}

// {"column","row"} on the grid; checked before it is narrowed, so that no huge number wraps
// round onto it.
std::optional<ctl::Desk> DeskOf(const Json& value) {
  const auto part = [&value](const char* name) -> std::optional<int> {
    if (!value.is_object() || !value.contains(name) || !value[name].is_number_integer()) {
      return std::nullopt;
    }
    const auto number = value[name].get<std::int64_t>();
    return number >= 1 && number <= ctl::kMaxDesk ? std::optional<int>(number) : std::nullopt;
  };
  const auto column = part("column");
  const auto row = part("row");
  if (!column || !row) return std::nullopt;
  return ctl::Desk{*column, *row};
}

constexpr std::string_view kBadPort = "ポート番号は 1 から 65535 です。";

std::optional<std::uint16_t> PortOf(const Json& value) {
  if (!value.is_number_integer() || value.get<std::int64_t>() < 1 ||
      value.get<std::int64_t>() > 65535) {
    return std::nullopt;
  }
  return value.get<std::uint16_t>();
}

// A field of the body applied to a PC, or why it cannot be: "" when it is good.
std::string Apply(const std::string& field, const Json& value, ctl::Agent& pc) {
  if (field == "host") {
    if (!value.is_string() || !ctl::IsHost(value.get<std::string>())) {
      return "ホスト名か IPv4 アドレスを入れてください。";
    }
    pc.destination.host = value.get<std::string>();
  } else if (field == "port") {
    const auto port = PortOf(value);
    if (!port) return std::string(kBadPort);
    pc.destination.port = *port;
  } else if (field == "name") {
    const bool good = value.is_string() &&
                      (value.get<std::string>().empty() || ctl::IsPcName(value.get<std::string>()));
    if (!good) return "名前は 1 行、64 バイトまでで、# や @ で始めないでください。";
    pc.name = value.get<std::string>();
  } else if (field == "desk") {
    if (value.is_null()) {
      pc.desk.reset();
      return "";
    }
    const std::optional<ctl::Desk> desk = DeskOf(value);
    if (!desk) return "机の位置は列と行、1 から 99 までです。";
    pc.desk = desk;
  } else if (field != "number") {
    return "「" + field + "」は変えられません。";
  }
  return "";
}

// What stands in the way of a room with `pc` in it, besides `pc` itself: "" when nothing.
std::string Clash(const std::vector<ctl::Agent>& pcs, const ctl::Agent& pc) {
  for (const ctl::Agent& other : pcs) {
    if (&other == &pc) continue;
    if (other.number == pc.number) return "番号 " + pc.number + " の PC はもうあります。";
    if (pc.desk && other.desk == pc.desk) return "その机には " + other.number + " があります。";
  }
  return "";
}

// "NN" of "/api/…/NN…", or "" when the path has no computer number there.
std::string NumberAt(std::string_view path, std::size_t at) {
  const std::string number(path.substr(std::min(at, path.size()), 2));
  return ctl::IsComputerNumber(number) ? number : "";
}

std::string Dotted(std::uint32_t address, std::uint16_t port) {
  return ctl::HostPort({ctl::DottedAddress(address), port});
}

bool HasHost(const std::vector<ctl::Agent>& pcs, const std::string& host) {
  return std::ranges::any_of(pcs,
                             [&](const ctl::Agent& pc) { return pc.destination.host == host; });
}

// The call port the teacher saved; the default where there is none to read, since the page
// shows the port and a save writes the file whole again.
std::uint16_t SavedCallPort(const platform::FileBytes& file) {
  if (file.result != platform::OpenResult::Opened) return kDefaultCallPort;
  std::string_view rest = file.bytes;
  while (!rest.empty()) {
    std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(line.size() + 1, rest.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.starts_with(kCallPortKey)) {
      return ctl::ParsePort(line.substr(kCallPortKey.size())).value_or(kDefaultCallPort);
    }
  }
  return kDefaultCallPort;
}

}  // namespace

// A page waiting for events after `after`; answered at most once.
struct Console::Waiter {
  std::shared_ptr<platform::HttpResponder> responder;
  std::int64_t after = 0;
  bool answered = false;  // by its timer, with no news
};

Console::Console(Ports ports, const std::string& folder, std::optional<std::uint16_t> callPort)
    : ports_(std::move(ports)),
      roomFile_(platform::JoinPath(folder, "room.txt")),
      settingsFile_(platform::JoinPath(folder, "console.ini")),
      callPortOverride_(callPort) {}

void Console::start() {
  const platform::FileBytes file = ports_.files.read(roomFile_);
  if (file.result == platform::OpenResult::CannotOpen) {
    roomProblem_ = "部屋のファイル「" + roomFile_ + "」を開けません。";
  } else if (file.result == platform::OpenResult::Opened) {
    ctl::ParsedRoster roster = ctl::ReadRoster(file.bytes, roomFile_);
    if (!roster.error.empty())
      roomProblem_ = "部屋のファイルに読めない行があります: " + roster.error;
    pcs_ = std::move(roster.agents);
  }
  lookUpRoom();
  callPort_ = callPortOverride_.value_or(SavedCallPort(ports_.files.read(settingsFile_)));
  listen();
}

void Console::listen() {
  callPortProblem_ = ports_.datagrams.listen(
      callPort_, [this](const platform::ReceivedDatagram& datagram) { hear(datagram); });
}

void Console::handle(const platform::HttpRequest& request,
                     std::shared_ptr<platform::HttpResponder> responder) {
  const std::string& path = request.path;
  const std::string& method = request.method;
  const Json body = Json::parse(request.body.empty() ? "{}" : request.body, nullptr, false);
  const auto answer = [&](HttpResponse response) { responder->respond(std::move(response)); };
  const bool changes = method == "POST" || method == "DELETE";
  if (changes && !body.is_object())
    return answer(Problem(400, "JSON のオブジェクトではありません。"));
  if (path == "/api/events" && method == "GET") return awaitEvents(request.query, responder);
  if (path == "/api/room" && method == "GET") return answer(room());
  // The teacher's own file, with a line the console cannot read, is never overwritten.
  if (path.starts_with(kPcsPath) && !roomProblem_.empty()) {
    return answer(Problem(409, roomProblem_ + " 直すまで部屋は変えられません。"));
  }
  if (path == kPcsPath && method == "POST") return answer(add(body));
  if (path == "/api/send" && method == "POST") return answer(send(body));
  if (path == "/api/settings" && method == "POST") return answer(settings(body));
  const std::string pc = NumberAt(path, kPcsPath.size() + 1);
  if (!pc.empty() && path == std::string(kPcsPath) + "/" + pc) {
    if (method == "POST") return answer(change(pc, body));
    if (method == "DELETE") return answer(remove(pc));
  }
  const std::string called = NumberAt(path, std::string_view("/api/calls/").size());
  if (!called.empty() && path == "/api/calls/" + called + "/done" && method == "POST") {
    return answer(done(called));
  }
  answer(Problem(404, "そのような操作はありません。"));
}

// This PC is asked each time: its addresses change as its networks come and go.
HttpResponse Console::room() const {
  Json pcs = Json::array();
  for (const ctl::Agent& pc : pcs_) pcs.push_back(PcJson(pc));
  const platform::ThisComputer self = ports_.thisComputer();
  Json addresses = Json::array();
  for (const std::uint32_t address : self.addresses) {
    addresses.push_back(ctl::DottedAddress(address));
  }
  return Answer(200, {{"pcs", pcs},
                      {"roomFile", roomFile_},
                      {"roomProblem", roomProblem_},
                      {"callPort", callPort_},
                      {"callPortProblem", callPortProblem_},
                      {"thisPc", {{"name", self.name}, {"addresses", addresses}}}});
}

std::optional<HttpResponse> Console::save(std::vector<ctl::Agent> pcs) {
  if (const auto failure =
          ports_.files.replace(roomFile_, roomFile_ + ".new", ctl::FormatRoster(pcs))) {
    return Problem(500, "部屋のファイルを保存できませんでした: " + failure->reason);
  }
  pcs_ = std::move(pcs);
  lookUpRoom();
  publish({{"kind", "room"}});  // every page open, not only the one that changed it
  return std::nullopt;
}

HttpResponse Console::add(const Json& body) {
  std::vector<ctl::Agent> pcs = pcs_;
  ctl::Agent& pc = pcs.emplace_back();
  for (const char* field : {"number", "host", "port"}) {
    if (!body.contains(field)) return Problem(400, std::string("「") + field + "」がありません。");
  }
  if (!body["number"].is_string() || !ctl::IsComputerNumber(body["number"].get<std::string>())) {
    return Problem(400, "番号は 01 から 30 です。");
  }
  pc.number = body["number"].get<std::string>();
  for (const auto& [field, value] : body.items()) {
    if (const std::string problem = Apply(field, value, pc); !problem.empty()) {
      return Problem(400, problem);
    }
  }
  if (const std::string clash = Clash(pcs, pc); !clash.empty()) return Problem(409, clash);
  const Json added = PcJson(pc);
  if (auto failed = save(std::move(pcs))) return *failed;
  return Answer(201, added);
}

HttpResponse Console::change(const std::string& number, const Json& body) {
  std::vector<ctl::Agent> pcs = pcs_;
  const auto pc = std::ranges::find(pcs, number, &ctl::Agent::number);
  if (pc == pcs.end()) return Problem(404, "番号 " + number + " の PC はありません。");
  for (const auto& [field, value] : body.items()) {
    if (field == "number") return Problem(400, "番号は変えられません。");
    if (const std::string problem = Apply(field, value, *pc); !problem.empty()) {
      return Problem(400, problem);
    }
  }
  if (const std::string clash = Clash(pcs, *pc); !clash.empty()) return Problem(409, clash);
  const Json changed = PcJson(*pc);
  if (auto failed = save(std::move(pcs))) return *failed;
  return Answer(200, changed);
}

HttpResponse Console::remove(const std::string& number) {
  std::vector<ctl::Agent> pcs = pcs_;
  if (std::erase_if(pcs, [&](const ctl::Agent& pc) { return pc.number == number; }) == 0) {
    return Problem(404, "番号 " + number + " の PC はありません。");
  }
  if (auto failed = save(std::move(pcs))) return *failed;
  return Answer(200, Json::object());
}

HttpResponse Console::send(const Json& body) {
  const Json& to = body.contains("to") ? body["to"] : Json();
  std::vector<const ctl::Agent*> recipients;
  for (const Json& number : to.is_array() ? to : Json::array()) {
    const auto pc = number.is_string()
                        ? std::ranges::find(pcs_, number.get<std::string>(), &ctl::Agent::number)
                        : pcs_.end();
    if (pc == pcs_.end()) return Problem(400, "送り先に部屋にない PC があります。");
    recipients.push_back(&*pc);
  }
  if (recipients.empty()) return Problem(400, "送り先の PC を選んでください。");
  std::string text;
  if (body.contains("command") && body["command"].is_string() &&
      std::ranges::find(kVerbs, body["command"].get<std::string>()) != kVerbs.end()) {
    text = ctl::CommandText(body["command"].get<std::string>());
  } else if (body.contains("page") && body["page"].is_string()) {
    const std::string page = body["page"].get<std::string>();
    if (page.empty()) return Problem(400, "ページのアドレスを入れてください。");
    if (page.starts_with(protocol::kCommandPrefix)) {
      return Problem(400, "「Command:」で始まるアドレスは、生徒の PC が命令と受け取ります。");
    }
    if (common::IsRefusedAddress(page)) {
      return Problem(400,
                     "スクリプトやブラウザー内部のページのアドレスは、生徒の PC が開きません。");
    }
    text = ports_.codePage.fromUtf8(page);
    if (ports_.codePage.toUtf8(text) != page) {
      return Problem(400, "このコンピュータの文字コードで送れない文字があります。");
    }
  } else {
    return Problem(400, "送るページか命令がありません。");
  }
  Json sent = Json::array();
  Json failed = Json::array();
  for (const ctl::Agent* pc : recipients) {
    const std::string reason =
        ports_.datagrams.send(pc->destination.host, pc->destination.port, text);
    if (reason.empty()) {
      sent.push_back(pc->number);
    } else {
      failed.push_back({{"number", pc->number}, {"reason", ports_.codePage.toUtf8(reason)}});
    }
  }
  const Json result{{"sent", sent}, {"failed", failed}};
  publish({{"kind", "sent"},
           {"text", ports_.codePage.toUtf8(text)},
           {"sent", sent},
           {"failed", failed}});
  return Answer(200, result);
}

HttpResponse Console::done(const std::string& number) {
  publish({{"kind", "done"}, {"number", number}});
  return Answer(200, Json::object());
}

// The port is saved even when another program holds it: the page says so, and the next start
// tries it again. A port the console listens on already is left as it is.
HttpResponse Console::settings(const Json& body) {
  const auto port = PortOf(body.contains("callPort") ? body["callPort"] : Json());
  if (!port) return Problem(400, std::string(kBadPort));
  const std::string text = std::string(kCallPortKey) + std::to_string(*port) + "\n";
  if (const auto failure = ports_.files.replace(settingsFile_, settingsFile_ + ".new", text)) {
    return Problem(500, "設定を保存できませんでした: " + failure->reason);
  }
  if (*port != callPort_ || !callPortProblem_.empty()) {
    callPort_ = *port;
    listen();
    publish({{"kind", "room"}});
  }
  return Answer(200, {{"callPort", callPort_}, {"callPortProblem", callPortProblem_}});
}

// An "after" the console never reached is a page from before a restart: it gets everything.
void Console::awaitEvents(const std::string& query,
                          std::shared_ptr<platform::HttpResponder> responder) {
  std::int64_t after = 0;
  if (query.starts_with("after=")) {
    const std::string digits = query.substr(6);
    if (!digits.empty() && digits.size() < 16 &&
        std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; })) {
      after = std::stoll(digits);
    }
  }
  if (after > lastEvent_) after = 0;
  std::erase_if(waiters_, [](const auto& waiter) { return waiter->answered; });
  auto waiter = std::make_shared<Waiter>(Waiter{std::move(responder), after});
  if (after < lastEvent_) {
    waiters_.push_back(std::move(waiter));
    return publish(nullptr);
  }
  ports_.scheduler.runLater(kLongPoll, [weak = std::weak_ptr(waiter)] {
    if (const auto waiter = weak.lock(); waiter && !waiter->answered) {
      waiter->answered = true;
      waiter->responder->respond(Answer(200, {{"next", waiter->after}, {"events", Json::array()}}));
    }
  });
  waiters_.push_back(std::move(waiter));
}

// Adds the event, when there is one, and answers every waiter that has news.
void Console::publish(Json event) {
  if (!event.is_null()) {
    event["seq"] = ++lastEvent_;
    event.emplace("time", ports_.clock());
    events_.push_back(std::move(event));
    if (events_.size() > kKeptEvents) events_.pop_front();
  }
  std::erase_if(waiters_, [this](const std::shared_ptr<Waiter>& waiter) {
    if (waiter->answered) return true;
    if (waiter->after >= lastEvent_) return false;
    Json news = Json::array();
    for (const Json& kept : events_) {
      if (kept["seq"].get<std::int64_t>() > waiter->after) news.push_back(kept);
    }
    waiter->responder->respond(Answer(200, {{"next", lastEvent_}, {"events", news}}));
    return true;
  });
}

// Every host of the room, afresh, since a PC's address may have changed; the answers known
// meanwhile stand, so only a new host holds calls back.
void Console::lookUpRoom() {
  std::erase_if(resolved_, [this](const auto& known) { return !HasHost(pcs_, known.first); });
  for (const ctl::Agent& pc : pcs_) {
    const std::string& host = pc.destination.host;
    if (!lookingUp_.insert(host).second) continue;
    ports_.resolver.lookUp(host, [this, host](std::vector<std::uint32_t> addresses) {
      lookingUp_.erase(host);
      if (HasHost(pcs_, host)) resolved_[host] = std::move(addresses);
      releaseCalls();
    });
  }
}

// A flood of calls while a name server keeps the console waiting holds no more than the page
// would keep.
void Console::hear(const platform::ReceivedDatagram& datagram) {
  if (!ctl::IsCall(datagram.bytes) || heldCalls_.size() >= kKeptEvents) return;
  heldCalls_.emplace_back(datagram, ports_.clock());
  releaseCalls();
}

// In the order the calls came, each with the time it came: one that waits for a lookup holds
// back those after it.
void Console::releaseCalls() {
  while (!heldCalls_.empty()) {
    std::optional<Json> event = judge(heldCalls_.front().first);
    if (!event) return;
    (*event)["time"] = heldCalls_.front().second;
    heldCalls_.pop_front();
    publish(std::move(*event));
  }
}

// A call names its PC, but any computer can send it: the sender's address tells whether the
// roster gives it to that PC, to another (the first in the room's order), or to none. Nothing
// while a host that decides it is still being looked up.
std::optional<Json> Console::judge(const platform::ReceivedDatagram& call) const {
  const auto isAt = [&](const ctl::Agent& pc) -> std::optional<bool> {
    const auto found = resolved_.find(pc.destination.host);
    if (found == resolved_.end()) return std::nullopt;
    return std::ranges::find(found->second, call.address) != found->second.end();
  };
  const std::string number = call.bytes.substr(0, 2);
  Json event{{"kind", "call"},
             {"number", number},
             {"from", Dotted(call.address, call.port)},
             {"genuine", false},
             {"sentBy", nullptr}};
  if (const auto named = std::ranges::find(pcs_, number, &ctl::Agent::number);
      named != pcs_.end()) {
    const std::optional<bool> at = isAt(*named);
    if (!at) return std::nullopt;
    if (*at) {
      event["genuine"] = true;
      return event;
    }
  }
  for (const ctl::Agent& pc : pcs_) {
    const std::optional<bool> at = isAt(pc);
    if (!at) return std::nullopt;
    if (*at) {
      event["sentBy"] = pc.number;
      break;
    }
  }
  return event;
}

}  // namespace console
