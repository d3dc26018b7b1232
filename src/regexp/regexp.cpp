#include "regexp/regexp.h"

ErrorHook errorHook = nullptr;

void reportRegexpError(const char* message) {
  if (errorHook != nullptr) errorHook(message);
}
