// Other programs of the system: telling whether one is there, and starting one.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class Programs {
 public:
  virtual ~Programs() = default;
  // An ordinary file: there, not a folder, not hidden, not a part of the system (UTF-8 path).
  virtual bool isOrdinaryFile(std::string_view path) = 0;
  // Starts the program at `path` with its main window shown normally and given the focus, and
  // does not wait for it; false when it could not be started.
  virtual bool start(std::string_view path) = 0;
  // The folder of this program's own file, where what is installed with it lies (UTF-8).
  virtual std::string ownFolder() = 0;
};

}  // namespace platform
