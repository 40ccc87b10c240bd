#include "platform/windows/Win32BrowserPrograms.h"

#include <shlobj.h>

#include <array>
#include <utility>
#include <vector>

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

constexpr wchar_t kAppPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe";
constexpr wchar_t kInstalled[] = L"\\Microsoft\\Edge\\Application\\msedge.exe";
constexpr wchar_t kProfile[] = L"\\Velostrander\\Browser";
constexpr DWORD kPipeBuffer = 64 * 1024;
// A browser whose pipe has closed ends its own run; past this, the job ends what is left of it.
constexpr DWORD kExitWait = 1000;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle Own(HANDLE handle) {
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
  CoTaskMemFree(path);
  return result;
}

std::wstring Registered(HKEY root, DWORD view) {
  std::array<wchar_t, 2 * MAX_PATH> path{};
  DWORD size = sizeof path;
  if (RegGetValueW(root, kAppPath, nullptr, RRF_RT_REG_SZ | view, nullptr, path.data(), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::wstring value = path.data();
  if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// As CommandLineToArgvW reads it back: quotes around blanks, and the backslashes before a quote
// doubled.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
    } else {
      quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
      backslashes = 0;
    }
    quoted += c;
  }
  return quoted.append(backslashes, L'\\') + L"\"";
}

struct Pipe {
  Handle ours;    // overlapped, for the event loop
  Handle theirs;  // plain and inheritable: Chromium reads and writes its ends blocking
};

// One direction, in a pipe of this machine only, whose far end this process has opened before
// anyone else could: no other program reads or writes what passes between agent and browser.
Pipe NewPipe(bool browserReads) {
  static unsigned serial = 0;
  const std::wstring name = L"\\\\.\\pipe\\Velostrander.DevTools." +
                            std::to_wstring(GetCurrentProcessId()) + L"." +
                            std::to_wstring(GetTickCount64()) + L"." + std::to_wstring(++serial);
  Pipe pipe;
  pipe.ours = Own(CreateNamedPipeW(name.c_str(),
                                   (browserReads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) |
                                       FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                   kPipeBuffer, kPipeBuffer, 0, nullptr));
  if (!pipe.ours) return {};
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  pipe.theirs = Own(CreateFileW(name.c_str(), browserReads ? GENERIC_READ : GENERIC_WRITE, 0,
                                &inheritable, OPEN_EXISTING, 0, nullptr));
  ULONG client = 0;
  if (!pipe.theirs || !GetNamedPipeClientProcessId(pipe.ours.get(), &client) ||
      client != GetCurrentProcessId()) {
    return {};
  }
  return pipe;
}

class Win32BrowserProgram final : public BrowserProgram {
 public:
  Win32BrowserProgram(Win32Waits& waits, BrowserProgramEvents events, Pipe& requests, Pipe& answers,
                      PROCESS_INFORMATION process, Handle job)
      : waits_(waits),
        events_(std::move(events)),
        requests_(std::move(requests.ours)),
        answers_(std::move(answers.ours)),
        process_(process.hProcess),
        processId_(process.dwProcessId),
        job_(std::move(job)) {
    written_.hEvent = writeDone_.get();
    read_.hEvent = readDone_.get();
    waits_.add(readDone_.get(), [this] { onRead(); });
    waits_.add(writeDone_.get(), [this] { onWritten(); });
    readNext();
  }

  // Closing the pipe ends the browser's run; what of it lingers, the job ends.
  ~Win32BrowserProgram() override {
    stop();
    WaitForSingleObject(process_.get(), kExitWait);
  }

  void send(std::string_view bytes) override {
    if (!answers_) return;
    queued_ += bytes;
    // A write the pipe took at once is done without the loop: requests still go out while a
    // modal loop (a message box's) holds the event loop up.
    if (writing_.empty()) {
      writeNext();
    } else if (HasOverlappedIoCompleted(&written_)) {
      onWritten();
    }
  }

  // The browser's full screen is its own doing on Windows, hidden or not.
  void showWindows(bool visible, bool) override {
    std::pair<DWORD, bool> search{processId_, visible};
    EnumWindows(&Show, reinterpret_cast<LPARAM>(&search));
  }

 private:
  // Hides each visible window, and shows the ones a task bar would list (top-level, unowned, no
  // tool window, a title): never the hidden helpers a browser keeps. Asynchronous: a browser that
  // hangs does not hang the agent.
  static BOOL CALLBACK Show(HWND window, LPARAM search) {
    const auto& [processId, visible] = *reinterpret_cast<std::pair<DWORD, bool>*>(search);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != processId) return TRUE;
    if (!visible) {
      ShowWindowAsync(window, SW_HIDE);
    } else if (!GetWindow(window, GW_OWNER) && GetWindowTextLengthW(window) > 0 &&
               !(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) {
      ShowWindowAsync(window, SW_SHOW);
    }
    return TRUE;
  }

  // A read that fails at once is reported from the loop, as one that fails later is.
  void readNext() {
    readFailed_ = !ReadFile(answers_.get(), buffer_.data(), kPipeBuffer, nullptr, &read_) &&
                  GetLastError() != ERROR_IO_PENDING;
    if (readFailed_) SetEvent(readDone_.get());
  }

  // The events come last: they may end this program.
  void onRead() {
    DWORD size = 0;
    if (readFailed_ || !GetOverlappedResult(answers_.get(), &read_, &size, FALSE)) {
      readFailed_ = true;
      stop();
      return events_.closed();
    }
    const std::string bytes(buffer_.data(), size);
    readNext();
    events_.received(bytes);
  }

  void writeNext() {
    writing_ = std::exchange(queued_, {});
    if (writing_.empty()) return;
    if (!WriteFile(requests_.get(), writing_.data(), static_cast<DWORD>(writing_.size()), nullptr,
                   &written_) &&
        GetLastError() != ERROR_IO_PENDING) {
      writing_.clear();  // the pipe has closed: the read says so
    }
  }

  void onWritten() {
    DWORD size = 0;
    const bool sent = GetOverlappedResult(requests_.get(), &written_, &size, FALSE);
    ResetEvent(writeDone_.get());
    queued_.insert(0, sent ? writing_.substr(size) : std::string());
    writing_.clear();
    writeNext();
  }

  // Cancels what is under way and waits for the system to let go of the buffers.
  void stop() {
    if (!answers_) return;
    waits_.remove(readDone_.get());
    waits_.remove(writeDone_.get());
    DWORD size = 0;
    if (!readFailed_ && CancelIoEx(answers_.get(), &read_)) {
      GetOverlappedResult(answers_.get(), &read_, &size, TRUE);
    }
    if (!writing_.empty() && CancelIoEx(requests_.get(), &written_)) {
      GetOverlappedResult(requests_.get(), &written_, &size, TRUE);
    }
    answers_.reset();
    requests_.reset();
    queued_.clear();
    writing_.clear();
  }

  Win32Waits& waits_;
  BrowserProgramEvents events_;
  Handle requests_, answers_;
  Handle readDone_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  Handle writeDone_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED read_{}, written_{};
  std::array<char, kPipeBuffer> buffer_{};
  bool readFailed_ = false;
  std::string queued_, writing_;
  Handle process_;
  DWORD processId_;
  Handle job_;  // closing it ends whatever of the browser still runs
};

// The handles given to the browser, and only those: the agent's socket, inheritable as every
// Winsock socket is, must not reach it.
bool CreateWithOnly(const std::wstring& program, std::wstring commandLine,
                    std::array<HANDLE, 2> inherited, PROCESS_INFORMATION& process) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> buffer(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return false;
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.lpAttributeList = attributes;
  const bool created =
      UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                sizeof inherited, nullptr, nullptr) &&
      CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED, nullptr, nullptr,
                     &startup.StartupInfo, &process);
  DeleteProcThreadAttributeList(attributes);
  return created;
}

// Started suspended, so that nothing of it runs outside the job.
Handle JobOf(const PROCESS_INFORMATION& process) {
  Handle job(CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job ||
      !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                               sizeof limits) ||
      !AssignProcessToJobObject(job.get(), process.hProcess)) {
    return nullptr;
  }
  return job;
}

}  // namespace

std::wstring FindEdge() {
  const std::wstring candidates[] = {
      Registered(HKEY_CURRENT_USER, 0),
      Registered(HKEY_LOCAL_MACHINE, 0),
      Registered(HKEY_LOCAL_MACHINE, RRF_SUBKEY_WOW6432KEY),
      KnownFolder(FOLDERID_ProgramFilesX86) + kInstalled,
      KnownFolder(FOLDERID_ProgramFiles) + kInstalled,
  };
  for (const auto& candidate : candidates) {
    if (IsFile(candidate)) return candidate;
  }
  return {};
}

BrowserProgramStart Win32BrowserPrograms::start(BrowserProgramEvents events) {
  const std::wstring program = FindEdge();
  if (program.empty()) return {nullptr, false, {}, {}};
  BrowserProgramStart start{nullptr, true, FromUtf16(CP_UTF8, program), {}};
  Pipe requests = NewPipe(true), answers = NewPipe(false);
  std::wstring commandLine = Quoted(program);
  for (const auto& argument :
       BrowserArguments(FromUtf16(CP_UTF8, KnownFolder(FOLDERID_LocalAppData) + kProfile))) {
    commandLine += L" " + Quoted(Utf8ToUtf16(argument));
  }
  commandLine += L" --remote-debugging-pipe --remote-debugging-io-pipes=" +
                 std::to_wstring(HandleToULong(requests.theirs.get())) + L"," +
                 std::to_wstring(HandleToULong(answers.theirs.get()));
  PROCESS_INFORMATION process{};
  if (!requests.ours || !answers.ours ||
      !CreateWithOnly(program, commandLine, {requests.theirs.get(), answers.theirs.get()},
                      process)) {
    start.reason = DescribeSystemError(GetLastError());
    return start;
  }
  Handle thread(process.hThread);
  Handle job = JobOf(process);
  if (!job) {
    start.reason = DescribeSystemError(GetLastError());
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return start;
  }
  ResumeThread(thread.get());
  start.program = std::make_unique<Win32BrowserProgram>(waits_, std::move(events), requests,
                                                        answers, process, std::move(job));
  return start;
}

}  // namespace platform
