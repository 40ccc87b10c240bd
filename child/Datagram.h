// What a datagram from the master console asks of the agent.
#pragma once

#include <string_view>

namespace child {

// Whether an address reaches past the page into what a browser must not take from the network,
// its scheme read as browsers read it (any case, after leading blanks and control characters,
// with tabs and line breaks dropped anywhere):
// - "javascript:" and "vbscript:" run in whatever page the student has open (a site they are
//   logged in to, say);
// - "chrome:", "chrome-untrusted:", "devtools:", "edge:", "view-source:" and every "about:" but
//   "about:blank" (which may end in "#…" or "?…") open the browser's own pages, some of which end,
//   crash or freeze it ("chrome://kill", "chrome://hang"); over its DevTools pipe nothing but
//   this rule keeps them out.
// Every place that hands an address to a browser applies this one rule.
bool IsRefusedAddress(std::string_view utf8);

enum class Request {
  OpenUrl,     // the whole text is a URL
  PartScreen,  // leave full-screen display
  FullScreen,
  VisibleTrue,   // show the browser window
  VisibleFalse,  // hide it
  NoChange,      // a command whose verb is none of the four
  // An address IsRefusedAddress() refuses, on the word of any computer on the network. Ignored.
  Refused,
  // Bytes that are no text, or control characters inside: not an address. Ignored.
  Garbled,
};

// The text is a command when its first eight characters are exactly "Command:"; the verb is
// everything after them, compared exactly. Any other text is a URL, unless it is refused or
// garbled.
Request DecodeDatagram(std::string_view text);

}  // namespace child
