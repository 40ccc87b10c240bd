#include "tool/Program.h"

#include "tool/Texts.h"

namespace tool {

// The tool's About box has no warning, and its settings window sets its computer number.
Program::Program(platform::Platform& platform)
    : platform(platform), about(platform, {std::string(kProgramTitle), "Label2", {}, nullptr}) {}

}  // namespace tool
