// The agent as a whole: its program-wide state and its windows.
#pragma once

#include <string>

#include "about/frmAbout.h"
#include "child/BrowserControl.h"
#include "child/Form1.h"
#include "child/Form2.h"
#include "child/Senders.h"
#include "platform/Platform.h"
#include "settings/ChildSettings.h"

namespace child {

struct Program {
  explicit Program(platform::Platform& platform);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  platform::Platform& platform;
  std::string settingsFile{settings::kSettingsFileName};
  settings::ChildSettings childSettings;
  Senders senders{platform};
  BrowserControl browser;
  about::frmAbout about;
  Form1 form1{*this};
  Form2 form2{*this};
};

}  // namespace child
