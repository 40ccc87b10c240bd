// The teacher's page as the program carries it: each file under its path with its type, and a
// page whose every asset is one of them, with nothing inline that the gate's policy would block.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "console/Page.h"

namespace {

std::string Served(const std::string& method, const std::string& path) {
  const auto answer = console::PageAnswer({method, path, "", {}, ""});
  if (!answer) return "none";
  EXPECT_EQ(answer->headers.size(), 1u);
  EXPECT_FALSE(answer->body.empty()) << path;
  return std::to_string(answer->status) + " " + answer->headers.at(0).second;
}

TEST(ConsolePageTest, EachFileIsAnsweredWithItsOwnTypeAndNothingElseIs) {
  const struct {
    std::string method, path, outcome;
  } cases[] = {
      {"GET", "/", "200 text/html; charset=utf-8"},
      {"GET", "/console.css", "200 text/css; charset=utf-8"},
      {"GET", "/console.js", "200 text/javascript; charset=utf-8"},
      {"POST", "/console.js", "none"},
      {"HEAD", "/", "none"},
      {"GET", "/console.js/", "none"},
      {"GET", "/Console.js", "none"},
      {"GET", "console.js", "none"},
      {"GET", "", "none"},
      {"GET", "/api/room", "none"},
  };
  for (const auto& [method, path, outcome] : cases) {
    EXPECT_EQ(Served(method, path), outcome) << method << " " << path;
  }
}

TEST(ConsolePageTest, ThePageNamesOnlyItsOwnFilesAndNothingInline) {
  const std::string html(console::PageAnswer({"GET", "/", "", {}, ""})->body);
  const std::regex asset(R"re((?:src|href)="([^"]*)")re");
  int assets = 0;
  for (std::sregex_iterator it(html.begin(), html.end(), asset), end; it != end; ++it, ++assets) {
    EXPECT_NE(Served("GET", (*it)[1]), "none") << (*it)[1];
  }
  EXPECT_EQ(assets, 2);
  const std::regex inline_(R"re(<script(?![^>]*\bsrc=)|<style|\sstyle=|\son[a-z]+=)re",
                           std::regex::icase);
  EXPECT_FALSE(std::regex_search(html, inline_));
}

}  // namespace
