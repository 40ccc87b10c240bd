// The teacher's page: its HTML, style and script, built into the program and answered behind the
// gate like every other route.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "platform/HttpServer.h"

namespace console {

struct PageFile {
  std::string_view name;  // "index.html", "console.css", …
  std::string_view text;
};

// Every file of the page, as the build found it (made by cmake/EmbedFiles.cmake).
std::span<const PageFile> PageFiles();

// The answer of a request for one of the page's files, or nothing for any other request.
std::optional<platform::HttpResponse> PageAnswer(const platform::HttpRequest& request);

}  // namespace console
