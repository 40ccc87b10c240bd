// A program run with its standard output and error read through pipes, every wait bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// Generous, for loaded build machines and sanitizer builds; passing runs take milliseconds.
inline constexpr std::chrono::milliseconds kLimit = std::chrono::seconds(20);

class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~ChildProcess();  // kills and reaps a child that is still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads output until `stream`, out() or err(), holds `text`; false when kLimit passed first.
  bool WaitFor(const std::string& stream, std::string_view text);
  // Reads all output and reaps the child: its exit status, 128 + the signal that ended it, or
  // -1 when it was still running after kLimit.
  int WaitForExit();
  void Signal(int signal) const;

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  using Clock = std::chrono::steady_clock;

  // Waits until the deadline for output on either pipe and appends it; false once both pipes
  // are closed or the deadline has passed.
  bool Pump(Clock::time_point deadline);

  pid_t pid_ = -1;
  int outPipe_ = -1;
  int errPipe_ = -1;
  std::string out_;
  std::string err_;
};
