#include "SelfCheck.h"

int main() {
  return selfcheck::RunAll();
}
