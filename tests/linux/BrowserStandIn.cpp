// Stands in for Chromium on its DevTools pipe: says which descriptors and arguments it was given,
// then sends back whatever it reads until the pipe closes. Told "end", it ends; "linger", it
// outlives the pipe; "leave", it ends and leaves a helper holding the pipe.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

namespace {

constexpr int kReads = 3, kWrites = 4;

void Write(const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t count = write(kWrites, bytes.data() + done, bytes.size() - done);
    if (count <= 0) return;  // the agent has gone: as Chromium, it is no reason to end
    done += static_cast<size_t>(count);
  }
}

std::string Descriptors() {
  DIR* folder = opendir("/proc/self/fd");
  std::vector<int> open;
  for (const dirent* entry; (entry = readdir(folder)) != nullptr;) {
    if (entry->d_name[0] != '.') open.push_back(std::stoi(entry->d_name));
  }
  std::erase(open, dirfd(folder));
  closedir(folder);
  std::sort(open.begin(), open.end());
  std::string said = "fds";
  for (const int descriptor : open) said += ' ' + std::to_string(descriptor);
  return said;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  std::string said = "pid " + std::to_string(getpid()) + '\n' + Descriptors();
  for (int i = 1; i < argc; ++i) said += std::string("\n") + argv[i];
  Write(said + '\0');
  bool linger = false;
  std::string bytes(65536, '\0');
  for (ssize_t count; (count = read(kReads, bytes.data(), bytes.size())) > 0;) {
    const std::string got = bytes.substr(0, static_cast<size_t>(count));
    if (got == std::string("leave", 6) && fork() == 0) pause();
    if (got == std::string("leave", 6) || got == std::string("end", 4)) return 0;
    linger |= got == std::string("linger", 7);
    Write(got);
  }
  while (linger) pause();
}
