// Stands in for Chromium on its DevTools pipe: says its pid, descriptors and arguments, then sends
// back what it reads until the pipe closes. Told "end", it ends; "linger", it outlives the pipe;
// "leave", it ends and leaves a helper holding the pipe.
#include <dirent.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <string>

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);  // as Chromium: the agent gone is no reason to end
  DIR* folder = opendir("/proc/self/fd");
  std::set<int> open;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] != '.') open.insert(std::stoi(entry->d_name));
  }
  open.erase(dirfd(folder));
  std::string said = "pid " + std::to_string(getpid()) + "\nfds";
  for (const int descriptor : open) said += ' ' + std::to_string(descriptor);
  for (int i = 1; i < argc; ++i) said += '\n' + std::string(argv[i]);
  said += '\0';
  bool linger = false;
  for (std::string bytes(65536, '\0');;) {
    for (ssize_t done = 0, count = 0; done < std::ssize(said) && count >= 0; done += count) {
      count = write(4, said.data() + done, said.size() - done);
    }
    const ssize_t count = read(3, bytes.data(), bytes.size());
    if (count <= 0) break;
    said.assign(bytes.data(), count);
    const bool leave = said == std::string("leave", 6);
    if (leave && fork() == 0) pause();
    if (leave || said == std::string("end", 4)) return 0;
    linger |= said == std::string("linger", 7);
  }
  while (linger) pause();
}
