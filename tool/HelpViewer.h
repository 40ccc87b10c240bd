// The help viewer: a window of the tool's own that shows the help file, a text in UTF-8.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace tool {

class HelpViewer {
 public:
  explicit HelpViewer(platform::Platform& platform);

  // Shows the file, or says in the viewer that it is not there; a viewer already open stays as
  // it is and comes to the front: there is never a second one.
  void Show(const std::string& file);
  void Unload() { window_.reset(); }

 private:
  platform::Platform& platform_;
  std::unique_ptr<platform::Window> window_;
};

}  // namespace tool
