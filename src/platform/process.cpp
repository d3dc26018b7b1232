#include "platform/process.h"

#include <cstdarg>
#include <string>

#include "platform/file_system.h"

ExecuteError executeError(int32_t code, const char* format, ...) {
  ExecuteError error;
  va_list args;
  va_start(args, format);
  error.message = formatText(format, args);
  va_end(args);
  error.code = code;
  if (code != 0) {
    error.reason = systemErrorText(code);
    while (!error.reason.empty() && (error.reason.back() == '\n' || error.reason.back() == '\r')) {
      error.reason.pop_back();
    }
  }
  return error;
}
