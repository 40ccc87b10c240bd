// The agent's main window and the spine of its life: start-up, "End", and unloading; its tray
// icon and menu.
#pragma once

#include <memory>
#include <string_view>

#include "child/RequestQueue.h"
#include "platform/Platform.h"

namespace child {

struct Program;

class Form1 {
 public:
  enum class State { Starting, Refused, HalfStarted, Running, Ending };

  explicit Form1(Program& program);

  // The program's start: creates the window, runs Form_Load, and then shows the window unless
  // start-up has hidden it or ended the program.
  void Load();

  void Form_Load();
  void Command1_Click();
  void Form_Unload();
  void Winsock1_DataArrival();
  void Form_MouseMove(const platform::MouseEvent& event);
  void Menu2_Click();
  void Menu3_Click();

  State state() const { return state_; }
  bool loaded() const { return window_ != nullptr; }
  // The UDP endpoint, from its binding at start-up to the window's unloading; none in an agent
  // that stopped short of it.
  platform::UdpEndpoint* Winsock1() { return endpoint_.get(); }

 private:
  platform::Desktop& desktop();
  platform::FormSpec Declaration();
  // The system may close the window while start-up shows a message; start-up then stops.
  bool Unloaded() const { return !window_; }
  bool ReadSettings();
  void BindEndpoint();
  void AddTrayIcon();
  void RemoveTrayIcon();
  // Runs Form_Unload to its end, then drops the window; does nothing once unloaded.
  void Unload();

  Program& program_;
  std::unique_ptr<platform::Window> window_;
  std::unique_ptr<platform::UdpEndpoint> endpoint_;  // Winsock1: lives as long as the window
  RequestQueue requests_;
  platform::TrayRecord trayRecord_;
  State state_ = State::Starting;
};

}  // namespace child
