// What the agent and its browser program say to each other over the browser's standard input and
// output: one line a message, a word and its argument. The agent's commands: "navigate" with the
// text to open, percent-encoded so that no line end inside it can split the line; "visible",
// "fullscreen", "toolbar" and "menubar" with 0 or 1. The browser's answer, at each change: "state"
// with the number of navigations it has taken, a blank, and 1 while it loads, else 0.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace platform::browser_channel {

inline constexpr char kProgramName[] = "velostrander-browser";

inline QByteArray Line(const QByteArray& word, const QByteArray& argument) {
  return word + ' ' + argument + '\n';
}

inline QByteArray Switch(bool on) {
  return on ? "1" : "0";
}

inline QByteArray NavigateLine(const QString& text) {
  return Line("navigate", text.toUtf8().toPercentEncoding());
}

struct Message {
  QByteArray word;
  QByteArray argument;
};

inline Message Parse(QByteArray line) {
  line = line.trimmed();
  const qsizetype blank = line.indexOf(' ');
  if (blank < 0) return {line, {}};
  return {line.left(blank), line.mid(blank + 1)};
}

}  // namespace platform::browser_channel
