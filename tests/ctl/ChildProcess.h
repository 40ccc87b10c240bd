// A program run with its standard output and error read through pipes, every wait bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ChildProcess {
 public:
  using Limit = std::chrono::milliseconds;

  // extraEnvironment: "NAME=value" entries added to this process's environment.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& extraEnvironment = {});
  ~ChildProcess();  // kills and reaps a child that is still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads output until the standard error holds `text`; false when the limit passed first.
  bool WaitForError(std::string_view text, Limit limit);
  // Reads output until the standard output holds `text`; false when the limit passed first.
  bool WaitForOutput(std::string_view text, Limit limit);
  // Reads all output and reaps the child: its exit status, 128 + the signal that ended it, or
  // nothing when it was still running at the limit.
  std::optional<int> WaitForExit(Limit limit);
  void Signal(int signal) const;

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  using Clock = std::chrono::steady_clock;

  bool WaitFor(const std::string& stream, std::string_view text, Limit limit);
  // Waits until the deadline for output on either pipe and appends it; false once both pipes
  // are closed or the deadline has passed.
  bool Pump(Clock::time_point deadline);

  pid_t pid_ = -1;
  int outPipe_ = -1;
  int errPipe_ = -1;
  std::string out_;
  std::string err_;
};
