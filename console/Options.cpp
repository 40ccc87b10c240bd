#include "console/Options.h"

#include "ctl/Address.h"

namespace console {

// The page's port may be left to the system; the agents call the port of their settings.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--no-browser") {
      parsed.options.openBrowser = false;
      continue;
    }
    if (name != "--port" && name != "--call-port") return {{}, "unknown argument \"" + name + "\""};
    const std::string value = ++i < arguments.size() ? arguments[i] : "";
    if (name == "--port" && value == "0") {
      parsed.options.port = 0;
    } else if (const auto port = ctl::ParsePort(value)) {
      if (name == "--port") {
        parsed.options.port = *port;
      } else {
        parsed.options.callPort = port;
      }
    } else {
      return {{}, name + " expects a port 1-65535" + (name == "--port" ? " or 0" : "")};
    }
  }
  return parsed;
}

}  // namespace console
