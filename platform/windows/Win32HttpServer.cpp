#include "platform/windows/Win32HttpServer.h"

// After windows.h, on which they build.
#include <http.h>
#include <winsock2.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <deque>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

// The console's requests are a few lines of JSON; anything larger is no page of ours.
constexpr std::size_t kMaxBody = 64 * 1024;
// A request's line and headers, as http.sys hands them over; a browser's take a few kilobytes.
constexpr ULONG kFirstBuffer = 16 * 1024;
constexpr ULONG kMaxBuffer = 256 * 1024;

// http.sys gives the headers it knows by number, in this order (HTTP_HEADER_ID); those of a
// response share the first twenty, then have ten of their own.
constexpr std::array<std::string_view, HttpHeaderRequestMaximum> kRequestHeaders{
    "cache-control",
    "connection",
    "date",
    "keep-alive",
    "pragma",
    "trailer",
    "transfer-encoding",
    "upgrade",
    "via",
    "warning",
    "allow",
    "content-length",
    "content-type",
    "content-encoding",
    "content-language",
    "content-location",
    "content-md5",
    "content-range",
    "expires",
    "last-modified",
    "accept",
    "accept-charset",
    "accept-encoding",
    "accept-language",
    "authorization",
    "cookie",
    "expect",
    "from",
    "host",
    "if-match",
    "if-modified-since",
    "if-none-match",
    "if-range",
    "if-unmodified-since",
    "max-forwards",
    "proxy-authorization",
    "referer",
    "range",
    "te",
    "translate",
    "user-agent"};
constexpr std::array<std::string_view, HttpHeaderResponseMaximum - HttpHeaderAcceptRanges>
    kResponseHeaders{"accept-ranges", "age",    "etag",       "location", "proxy-authenticate",
                     "retry-after",   "server", "set-cookie", "vary",     "www-authenticate"};
// By HTTP_VERB, from HttpVerbOPTIONS on.
constexpr std::array<std::string_view, HttpVerbMaximum - HttpVerbOPTIONS> kVerbs{
    "OPTIONS", "GET",  "HEAD",     "POST",      "PUT",   "DELETE", "TRACE",  "CONNECT", "TRACK",
    "MOVE",    "COPY", "PROPFIND", "PROPPATCH", "MKCOL", "LOCK",   "UNLOCK", "SEARCH"};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::ranges::transform(lower, lower.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

HttpResponse Plain(int status, std::string text) {
  return {status, {{"Content-Type", "text/plain; charset=utf-8"}}, std::move(text) + "\n"};
}

HttpResponse Unavailable() {
  return Plain(503, "stopping");
}

std::string_view Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 204:
      return "No Content";
    case 303:
      return "See Other";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 409:
      return "Conflict";
    case 413:
      return "Content Too Large";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "";
  }
}

// The response header's number, or -1 for one that http.sys takes by its name.
int ResponseHeaderId(std::string_view name) {
  const std::string lower = Lower(name);
  const auto general = std::ranges::find(kRequestHeaders.begin(),
                                         kRequestHeaders.begin() + HttpHeaderAcceptRanges, lower);
  if (general != kRequestHeaders.begin() + HttpHeaderAcceptRanges) {
    return static_cast<int>(general - kRequestHeaders.begin());
  }
  const auto own = std::ranges::find(kResponseHeaders, lower);
  return own != kResponseHeaders.end()
             ? HttpHeaderAcceptRanges + static_cast<int>(own - kResponseHeaders.begin())
             : -1;
}

// Whole, from the calling thread; a console's answers are small enough for http.sys to take at
// once.
void Send(HANDLE queue, HTTP_REQUEST_ID id, const HttpResponse& answer) {
  HTTP_RESPONSE response{};
  response.StatusCode = static_cast<USHORT>(answer.status);
  const std::string_view reason = Reason(answer.status);
  response.pReason = reason.data();
  response.ReasonLength = static_cast<USHORT>(reason.size());
  std::vector<HTTP_UNKNOWN_HEADER> unknown;
  const auto set = [&](std::string_view name, const std::string& value) {
    const int known = ResponseHeaderId(name);
    if (known < 0) {
      unknown.push_back({static_cast<USHORT>(name.size()), static_cast<USHORT>(value.size()),
                         name.data(), value.c_str()});
    } else {
      response.Headers.KnownHeaders[known] = {static_cast<USHORT>(value.size()), value.c_str()};
    }
  };
  for (const auto& [name, value] : answer.headers) set(name, value);
  const std::string length = std::to_string(answer.body.size());
  set("content-length", length);
  response.Headers.UnknownHeaderCount = static_cast<USHORT>(unknown.size());
  response.Headers.pUnknownHeaders = unknown.data();
  HTTP_DATA_CHUNK chunk{};
  chunk.DataChunkType = HttpDataChunkFromMemory;
  chunk.FromMemory.pBuffer = const_cast<char*>(answer.body.data());
  chunk.FromMemory.BufferLength = static_cast<ULONG>(answer.body.size());
  response.EntityChunkCount = answer.body.empty() ? 0 : 1;
  response.pEntityChunks = &chunk;
  HttpSendHttpResponse(queue, id, 0, &response, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
}

// http.sys cannot pick a port: the system picks one for a socket of the loopback address, which
// is then let go.
std::uint16_t FreeLoopbackPort() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
  std::uint16_t port = 0;
  const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (probe != INVALID_SOCKET &&
      bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  if (probe != INVALID_SOCKET) closesocket(probe);
  WSACleanup();
  return port;
}

}  // namespace

struct Win32HttpServer::Queue {
  HTTP_SERVER_SESSION_ID session = HTTP_NULL_ID;
  HTTP_URL_GROUP_ID group = HTTP_NULL_ID;
  HANDLE handle = nullptr;
  bool initialized = false;
  bool open = false;
  std::set<HTTP_REQUEST_ID> unanswered;  // handed to the handler, on the UI thread

  // NO_ERROR, or why the URL cannot be ours.
  ULONG take(const std::wstring& url) {
    const HTTPAPI_VERSION version = HTTPAPI_VERSION_2;
    ULONG error = HttpInitialize(version, HTTP_INITIALIZE_SERVER, nullptr);
    initialized = error == NO_ERROR;
    if (!error) error = HttpCreateServerSession(version, &session, 0);
    if (!error) error = HttpCreateUrlGroup(session, &group, 0);
    if (!error) error = HttpCreateRequestQueue(version, nullptr, nullptr, 0, &handle);
    HTTP_BINDING_INFO binding{};
    binding.Flags.Present = 1;
    binding.RequestQueueHandle = handle;
    if (!error)
      error = HttpSetUrlGroupProperty(group, HttpServerBindingProperty, &binding, sizeof binding);
    if (!error) error = HttpAddUrlToUrlGroup(group, url.c_str(), 0, 0);
    open = error == NO_ERROR;
    return error;
  }

  void answer(HTTP_REQUEST_ID id, const HttpResponse& response) {
    if (open && unanswered.erase(id)) Send(handle, id, response);
  }

  void close() {
    for (const HTTP_REQUEST_ID id : std::exchange(unanswered, {})) Send(handle, id, Unavailable());
    open = false;
    if (group) HttpCloseUrlGroup(group);
    if (handle) HttpCloseRequestQueue(handle);
    if (session) HttpCloseServerSession(session);
    if (initialized) HttpTerminate(HTTP_INITIALIZE_SERVER, nullptr);
  }
};

struct Win32HttpServer::Incoming {
  std::mutex mutex;
  std::deque<std::pair<HTTP_REQUEST_ID, HttpRequest>> requests;  // guarded by mutex
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // the receiving thread's own

  ~Incoming() {
    CloseHandle(stop);
    CloseHandle(done);
  }

  // One overlapped call of the queue to its end, or cancelled when the server stops: NO_ERROR
  // or the call's error (ERROR_OPERATION_ABORTED once stopped), and the bytes it returned.
  template <typename Call>
  ULONG await(HANDLE queue, ULONG& bytes, Call call) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = done;
    ResetEvent(done);
    const ULONG started = call(&overlapped);
    if (started != NO_ERROR && started != ERROR_IO_PENDING && started != ERROR_MORE_DATA) {
      return started;
    }
    // A call done at once has its result already.
    const std::array<HANDLE, 2> events{done, stop};
    if (started == ERROR_IO_PENDING &&
        WaitForMultipleObjects(2, events.data(), FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIoEx(queue, &overlapped);
    }
    DWORD got = 0;
    const bool ok = GetOverlappedResult(queue, &overlapped, &got, TRUE);
    bytes = got;
    return ok ? NO_ERROR : GetLastError();
  }

  bool stopping() const { return WaitForSingleObject(stop, 0) == WAIT_OBJECT_0; }
};

namespace {

HttpRequest Convert(const HTTP_REQUEST& request) {
  HttpRequest converted;
  converted.method = request.Verb >= HttpVerbOPTIONS && request.Verb < HttpVerbMaximum
                         ? std::string(kVerbs[request.Verb - HttpVerbOPTIONS])
                         : std::string(request.pUnknownVerb, request.UnknownVerbLength);
  converted.path.assign(request.pRawUrl, request.RawUrlLength);
  if (const std::size_t mark = converted.path.find('?'); mark != std::string::npos) {
    converted.query = converted.path.substr(mark + 1);
    converted.path.resize(mark);
  }
  // http.sys keeps the headers it knows apart from the others: their order is lost.
  for (std::size_t i = 0; i < kRequestHeaders.size(); ++i) {
    const HTTP_KNOWN_HEADER& header = request.Headers.KnownHeaders[i];
    if (header.RawValueLength > 0) {
      converted.headers.emplace_back(kRequestHeaders[i],
                                     std::string(header.pRawValue, header.RawValueLength));
    }
  }
  for (USHORT i = 0; i < request.Headers.UnknownHeaderCount; ++i) {
    const HTTP_UNKNOWN_HEADER& header = request.Headers.pUnknownHeaders[i];
    converted.headers.emplace_back(Lower({header.pName, header.NameLength}),
                                   std::string(header.pRawValue, header.RawValueLength));
  }
  for (USHORT i = 0; i < request.EntityChunkCount; ++i) {
    const HTTP_DATA_CHUNK& chunk = request.pEntityChunks[i];
    if (chunk.DataChunkType == HttpDataChunkFromMemory) {
      converted.body.append(static_cast<const char*>(chunk.FromMemory.pBuffer),
                            chunk.FromMemory.BufferLength);
    }
  }
  return converted;
}

// http.sys takes the connections of every address for a URL of 127.0.0.1 (Wine's listens on all
// of them): the request of another computer is refused here.
bool FromLoopback(const HTTP_REQUEST& request) {
  const auto* from = reinterpret_cast<const sockaddr_in*>(request.Address.pRemoteAddress);
  return from && from->sin_family == AF_INET && (ntohl(from->sin_addr.s_addr) >> 24) == 127;
}

bool DeclaresTooMuch(const HttpRequest& request) {
  const std::string length = request.header("content-length");
  return length.find_first_not_of("0123456789") != std::string::npos || length.size() > 9 ||
         (!length.empty() && std::stoul(length) > kMaxBody);
}

// The UI thread's side of a request: whoever drops it unanswered answers 503.
class Reply final : public HttpResponder {
 public:
  Reply(std::shared_ptr<Win32HttpServer::Queue> queue, HTTP_REQUEST_ID id)
      : queue_(std::move(queue)), id_(id) {}
  ~Reply() override { queue_->answer(id_, Unavailable()); }
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;

  void respond(HttpResponse response) override { queue_->answer(id_, response); }

 private:
  std::shared_ptr<Win32HttpServer::Queue> queue_;
  HTTP_REQUEST_ID id_;
};

}  // namespace

Win32HttpServer::Win32HttpServer(Win32MessageWindow& window)
    : window_(window),
      message_(window.newMessage()),
      queue_(std::make_shared<Queue>()),
      incoming_(std::make_unique<Incoming>()) {}

Win32HttpServer::~Win32HttpServer() {
  if (receiving_.joinable()) {
    SetEvent(incoming_->stop);
    receiving_.join();
  }
  window_.removeHandler(message_);
  // Read, but not handed over yet: unanswered too.
  for (const auto& request : incoming_->requests) queue_->unanswered.insert(request.first);
  queue_->close();
}

std::string Win32HttpServer::listen(std::uint16_t port, HttpHandler handler) {
  const std::uint16_t chosen = port != 0 ? port : FreeLoopbackPort();
  const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(chosen) + L"/";
  if (const ULONG error = queue_->take(url); error != NO_ERROR) {
    return "cannot listen on 127.0.0.1:" + std::to_string(chosen) + ": " +
           DescribeSystemError(error);
  }
  port_ = chosen;
  handler_ = std::move(handler);
  window_.setHandler(message_, [this](WPARAM, LPARAM) { deliver(); });
  receiving_ = std::thread([this] { receive(); });
  return "";
}

// The receiving thread: reads each request whole, refuses what is over the limits at once, and
// hands the rest to the UI thread.
void Win32HttpServer::receive() {
  const HANDLE queue = queue_->handle;
  std::vector<char> buffer(kFirstBuffer);
  HTTP_REQUEST_ID id = HTTP_NULL_ID;
  while (!incoming_->stopping()) {
    auto* request = reinterpret_cast<HTTP_REQUEST*>(buffer.data());
    ULONG size = 0;
    const ULONG error = incoming_->await(queue, size, [&](OVERLAPPED* overlapped) {
      return HttpReceiveHttpRequest(queue, id, HTTP_RECEIVE_REQUEST_FLAG_COPY_BODY, request,
                                    static_cast<ULONG>(buffer.size()), nullptr, overlapped);
    });
    if (error == ERROR_MORE_DATA && buffer.size() < kMaxBuffer) {
      id = request->RequestId;
      buffer.resize(std::max<std::size_t>(size, buffer.size() * 2));
      continue;
    }
    if (error == ERROR_MORE_DATA) Send(queue, request->RequestId, Plain(431, "too large"));
    id = HTTP_NULL_ID;
    if (error != NO_ERROR) continue;
    if (!FromLoopback(*request)) {
      Send(queue, request->RequestId, Plain(403, "loopback only"));
      continue;
    }
    HttpRequest converted = Convert(*request);
    bool whole = !DeclaresTooMuch(converted);
    for (bool more = request->Flags & HTTP_REQUEST_FLAG_MORE_ENTITY_BODY_EXISTS; whole && more;) {
      std::array<char, 4096> chunk;
      ULONG got = 0;
      const ULONG read = incoming_->await(queue, got, [&](OVERLAPPED* overlapped) {
        return HttpReceiveRequestEntityBody(queue, request->RequestId, 0, chunk.data(),
                                            static_cast<ULONG>(chunk.size()), nullptr, overlapped);
      });
      converted.body.append(chunk.data(), read == NO_ERROR ? got : 0);
      more = read == NO_ERROR;
      whole = read == NO_ERROR || read == ERROR_HANDLE_EOF;
      whole = whole && converted.body.size() <= kMaxBody;
    }
    if (!whole) {
      Send(queue, request->RequestId, Plain(413, "too large"));
      continue;
    }
    {
      const std::lock_guard lock(incoming_->mutex);
      incoming_->requests.emplace_back(request->RequestId, std::move(converted));
    }
    PostMessageW(window_.hwnd(), message_, 0, 0);
  }
}

void Win32HttpServer::deliver() {
  std::deque<std::pair<HTTP_REQUEST_ID, HttpRequest>> requests;
  {
    const std::lock_guard lock(incoming_->mutex);
    requests.swap(incoming_->requests);
  }
  for (auto& [id, request] : requests) {
    queue_->unanswered.insert(id);
    handler_(request, std::make_shared<Reply>(queue_, id));
  }
}

}  // namespace platform
