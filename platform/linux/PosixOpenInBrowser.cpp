#include <spawn.h>
#include <sys/wait.h>

#include "platform/TrayMenu.h"

extern char** environ;

namespace platform {

// xdg-open, as QDesktopServices would run it, but in a child that inherits none of the
// console's descriptors: a browser started so would otherwise hold the page's open connections
// (a long poll among them) for as long as it runs. The shell leaves xdg-open behind and ends at
// once, so that no child of the console is left to reap.
bool OpenInBrowser(const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  const char* arguments[] = {
      "sh", "-c",         "command -v xdg-open >/dev/null || exit 1; xdg-open \"$1\" &",
      "sh", path.c_str(), nullptr};
  pid_t shell = 0;
  const int failed =
      posix_spawnp(&shell, "sh", &actions, nullptr, const_cast<char* const*>(arguments), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return failed == 0 && waitpid(shell, &status, 0) == shell && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace platform
