#include "child/Module1.h"

namespace child {

long SetTopmost(platform::Window& form, std::int16_t mode) {
  if (mode != 0 && mode != 1) return 0;
  return form.setTopmost(mode == 1);
}

}  // namespace child
