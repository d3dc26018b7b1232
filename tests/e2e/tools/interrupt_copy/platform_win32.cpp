#include <windows.h>

#include "platform.h"

namespace {

/// word quoted so that the C runtime's argument parsing gives it back.
std::string quoted(const std::string& word) {
  std::string result = "\"";
  size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
    } else {
      if (c == '"') result.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    result += c;
  }
  result.append(backslashes, '\\');
  return result + "\"";
}

}  // namespace

Child::~Child() {
  if (handle_ == nullptr) return;
  if (!ended_) kill();
  CloseHandle(static_cast<HANDLE>(handle_));
}

bool Child::start(const std::string& program, const std::vector<std::string>& args) {
  std::string commandLine = quoted(program);
  for (const std::string& arg : args) commandLine += " " + quoted(arg);
  SECURITY_ATTRIBUTES inherited = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                             OPEN_EXISTING, 0, nullptr);
  HANDLE output = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                              OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process;
  BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process);
  CloseHandle(input);
  CloseHandle(output);
  if (!started) return false;
  CloseHandle(process.hThread);
  handle_ = process.hProcess;
  id_ = process.dwProcessId;
  return true;
}

bool Child::ended() {
  if (!ended_) ended_ = WaitForSingleObject(static_cast<HANDLE>(handle_), 0) == WAIT_OBJECT_0;
  return ended_;
}

void Child::kill() {
  if (ended_) return;
  TerminateProcess(static_cast<HANDLE>(handle_), 137);
  WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
  ended_ = true;
}
