// The About box that both programs show: the program's title and version, the computer number,
// a credit line, the agent's warning against copying, and the system-information viewer.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace about {

// What differs between the programs' About boxes.
struct Edition {
  std::string title;        // the program's title
  std::string numberLabel;  // the computer-number label's name: "Label1", "Label2"
  std::string disclaimer;   // empty: none
  // The computer number that the box's own loading shows; none in the tool, whose settings
  // window sets the label from outside.
  std::function<std::string()> computerNumber;
};

class frmAbout {
 public:
  frmAbout(platform::Platform& platform, Edition edition);

  // Loads the box if none is loaded, and shows it, modeless, in front of the other windows.
  void Show();
  // Sets the computer-number label, loading the box hidden when none is loaded.
  void SetComputerNumberLabel(std::string_view caption);
  bool loaded() const { return window_ != nullptr; }
  bool shown() const { return window_ && window_->isVisible(); }
  void Unload() { window_.reset(); }

  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();
  void StartSysInfo();

  // How reading a registry value ended: not read is no key or no value (KeyVal is then empty);
  // an empty value is an error, which ends the caller's search at once.
  enum class KeyValue { Read, NotRead, Empty };
  KeyValue GetKeyValue(platform::RegistryRoot KeyRoot, const std::string& KeyName,
                       const std::string& SubKeyRef, std::string& KeyVal);

 private:
  platform::FormSpec Declaration();
  void Load();

  platform::Platform& platform_;
  const Edition edition_;
  std::unique_ptr<platform::Window> window_;
};

}  // namespace about
