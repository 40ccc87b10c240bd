#include "child/Program.h"

#include "about/Texts.h"
#include "child/Texts.h"

namespace child {

Program::Program(platform::Platform& platform)
    : platform(platform),
      browser(platform.browsers(), platform.scheduler(), platform.desktop()),
      about(platform, {std::string(kProgramTitle), "Label1", std::string(about::kAgentDisclaimer),
                       [this] { return childSettings.MyCompNum; }}) {}

}  // namespace child
