#include "console/Page.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace console {
namespace {

// A type the browser would have to guess is refused by nosniff; each file names its own.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kTypes{{
    {".html", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
}};

}  // namespace

std::optional<platform::HttpResponse> PageAnswer(const platform::HttpRequest& request) {
  if (request.method != "GET" || !request.path.starts_with('/')) return std::nullopt;
  const std::string_view name = request.path == "/" ? std::string_view("index.html")
                                                    : std::string_view(request.path).substr(1);
  const auto file = std::ranges::find(PageFiles(), name, &PageFile::name);
  const auto type = std::ranges::find_if(
      kTypes, [name](const auto& known) { return name.ends_with(known.first); });
  if (file == PageFiles().end() || type == kTypes.end()) return std::nullopt;
  return platform::HttpResponse{
      200, {{"Content-Type", std::string(type->second)}}, std::string(file->text)};
}

}  // namespace console
