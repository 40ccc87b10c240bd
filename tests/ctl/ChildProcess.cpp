#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <stdexcept>

extern char** environ;

namespace {

// Appends what the pipe has; closes it at its end.
void Drain(int& pipe, short events, std::string& into) {
  if (pipe < 0 || events == 0) return;
  std::array<char, 4096> buffer{};
  const ssize_t got = read(pipe, buffer.data(), buffer.size());
  if (got > 0) {
    into.append(buffer.data(), static_cast<std::size_t>(got));
    return;
  }
  close(pipe);
  pipe = -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  std::array<int, 2> out{}, err{};
  if (pipe2(out.data(), O_CLOEXEC) != 0 || pipe2(err.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2 failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  const int result =
      posix_spawn(&pid_, program.c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  outPipe_ = out[0];
  errPipe_ = err[0];
  if (result == 0) return;
  pid_ = -1;
  close(outPipe_);
  close(errPipe_);
  throw std::runtime_error("cannot start " + program);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outPipe_ >= 0) close(outPipe_);
  if (errPipe_ >= 0) close(errPipe_);
}

bool ChildProcess::WaitFor(const std::string& stream, std::string_view text) {
  const auto deadline = Clock::now() + kLimit;
  while (stream.find(text) == std::string::npos) {
    if (!Pump(deadline)) return false;
  }
  return true;
}

int ChildProcess::WaitForExit() {
  const auto deadline = Clock::now() + kLimit;
  while (Pump(deadline)) {
  }
  // Both pipes close only when the child has exited, so the reaping below does not block.
  if (outPipe_ >= 0 || errPipe_ >= 0) return -1;
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ChildProcess::Signal(int signal) const {
  kill(pid_, signal);
}

bool ChildProcess::Pump(Clock::time_point deadline) {
  if (outPipe_ < 0 && errPipe_ < 0) return false;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  std::array<pollfd, 2> pipes{{{outPipe_, POLLIN, 0}, {errPipe_, POLLIN, 0}}};
  if (left <= 0 || poll(pipes.data(), pipes.size(), static_cast<int>(left)) <= 0) return false;
  Drain(outPipe_, pipes[0].revents, out_);
  Drain(errPipe_, pipes[1].revents, err_);
  return true;
}
