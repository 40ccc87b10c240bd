// The console's start: its server listening, the gate in front of its routes, and the file that
// carries the secret to the teacher's browser.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "console/Console.h"
#include "console/Gate.h"
#include "console/Options.h"

namespace console {

// The page that forwards the browser to the console, the secret in its address: a file in the
// teacher's own settings folder, which no other user may read.
std::string EntryFile(const std::string& folder);

class Program {
 public:
  // `folder` is the teacher's own settings folder: the console's files and the entry file live
  // there.
  Program(Ports ports, platform::HttpServer& server, std::string folder, Options options);

  // Returns "", or why the console cannot serve its page.
  std::string start();
  // EntryFile() of the folder, written by start().
  std::string entryFile() const;

 private:
  platform::Files& files_;
  platform::HttpServer& server_;
  std::string folder_;
  Options options_;
  Console console_;
  std::shared_ptr<const Gate> gate_;
};

}  // namespace console
