// The settings tool as a whole: its window, its About box and its help viewer.
#pragma once

#include <string>

#include "about/frmAbout.h"
#include "platform/Platform.h"
#include "settings/SettingsFormat.h"
#include "tool/Form1.h"
#include "tool/HelpViewer.h"

namespace tool {

struct Program {
  explicit Program(platform::Platform& platform);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  platform::Platform& platform;
  std::string settingsFile{settings::kSettingsFileName};
  // Where the new text is written before it takes the settings file's place.
  std::string temporaryFile{"Temp.tmp"};
  about::frmAbout about;
  HelpViewer help{platform};
  Form1 form1{*this};
};

}  // namespace tool
