// Which addresses no browser of the agent's is handed, whoever asks: the agent and the console
// that sends it pages share the rule.
#pragma once

#include <string>
#include <string_view>

namespace common {

// Whether an address reaches past the page into what a browser must not take from the network,
// its scheme read as browsers read it (any case, after leading blanks and control characters,
// with tabs and line breaks dropped anywhere):
// - "javascript:" and "vbscript:" run in whatever page the student has open (a site they are
//   logged in to, say);
// - "chrome:", "chrome-untrusted:", "devtools:", "edge:", "view-source:" and every "about:" but
//   "about:blank" (which may end in "#…" or "?…") open the browser's own pages, some of which end,
//   crash or freeze it ("chrome://kill", "chrome://hang"); over its DevTools pipe nothing but
//   this rule keeps them out.
// Every place that hands an address to a browser, or sends one to an agent, applies this one
// rule.
bool IsRefusedAddress(std::string_view utf8);
bool IsRefusedAddress(std::u32string_view chars);

}  // namespace common
