// velostrander-console on Windows: the console's server and calls on the Win32 backend, a tray
// icon to open the page again or to end the console, and one console a user.
#include <objbase.h>

#include <ctime>
#include <string>
#include <vector>

#include "console/Program.h"
#include "platform/Paths.h"
#include "platform/TrayMenu.h"
#include "platform/windows/Win32CodePage.h"
#include "platform/windows/Win32DatagramPort.h"
#include "platform/windows/Win32Files.h"
#include "platform/windows/Win32HttpServer.h"
#include "platform/windows/Win32InstanceGuard.h"
#include "platform/windows/Win32MessageWindow.h"
#include "platform/windows/Win32Resolver.h"
#include "platform/windows/Win32Scheduler.h"
#include "platform/windows/Win32Text.h"
#include "platform/windows/Win32TrayMenu.h"

namespace {

int Fail(const std::string& message) {
  MessageBoxW(nullptr, platform::Utf8ToUtf16(message).c_str(), L"Velostrander Console",
              MB_ICONERROR | MB_OK);
  return 1;
}

std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** const arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> converted;
  for (int i = 1; i < count; ++i) converted.push_back(platform::FromUtf16(CP_UTF8, arguments[i]));
  LocalFree(arguments);
  return converted;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The shell, which opens the page, asks for COM.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const console::ParsedOptions parsed = console::ParseOptions(Arguments());
  if (!parsed.error.empty()) return Fail(parsed.error);
  const std::string folder = platform::UserSettingsFolder();
  if (folder.empty()) return Fail("no settings folder in %APPDATA%");
  // The teacher who starts it again wants the page of the one that runs.
  platform::Win32InstanceGuard guard;
  if (guard.anotherInstanceRunning()) {
    return parsed.options.openBrowser && !platform::OpenInBrowser(console::EntryFile(folder));
  }
  const platform::Win32CodePage codePage;
  platform::Win32Files files;
  platform::Win32MessageWindow messages(instance);
  platform::Win32Scheduler scheduler(messages);
  platform::Win32DatagramPort datagrams(messages);
  platform::Win32Resolver resolver(messages);
  platform::Win32HttpServer server(messages);
  console::Program program(
      {files, datagrams, resolver, scheduler, codePage,
       [] { return std::int64_t{std::time(nullptr)}; }, platform::DescribeThisComputer},
      server, folder, parsed.options);
  if (const std::string problem = program.start(); !problem.empty()) return Fail(problem);
  platform::Win32TrayMenu tray(instance);
  const auto open = [&program] { platform::OpenInBrowser(program.entryFile()); };
  tray.show("Velostrander Console", {{"ページを開く", open}, {"終了", [] { PostQuitMessage(0); }}});
  if (parsed.options.openBrowser) open();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
