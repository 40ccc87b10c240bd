// The bytes a browser writes on its DevTools pipe, as the agent's session takes them: cut into
// reads of a length the input gives, with the agent's requests between them.
#include <nlohmann/json.hpp>

#include "Fuzz.h"
#include "devtools/Session.h"
#include "fake/FakePlatform.h"
#include "fake/ScriptedPrograms.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::Bytes(data, size);
  fake::FakePlatform loop;
  fake::ScriptedPrograms programs;
  int ends = 0;
  devtools::Session session(loop.scheduler(), [&](devtools::Session::End) { ++ends; });
  session.start(programs);
  // Before any byte, as the first page asks it: the seeds' answers are numbered for it.
  session.navigate("http://127.0.0.1:8765/a.html");
  const std::size_t read = 1 + size % 61;
  for (std::size_t at = 0; at < bytes.size(); at += read) {
    programs.browser.received(bytes.substr(at, read));
    fuzz::Check(session.alive() || (!session.busy() && ends == 1));
    if (at == read) session.navigate("http://127.0.0.1:8765/a.html#b");
  }
  session.setFullScreen(true);
  session.setVisible(true);
  fuzz::Check(session.alive() == (ends == 0));
  programs.browser.closed();
  loop.runPending();
  fuzz::Check(!session.alive() && !session.busy() && ends == 1 && !programs.running);
  // Whatever came, each request went out as one JSON text and its NUL.
  std::vector<std::string> messages = fuzz::Parts(programs.sent);
  fuzz::Check(messages.back().empty());
  messages.pop_back();
  for (const std::string& message : messages) fuzz::Check(nlohmann::json::accept(message));
  return 0;
}
