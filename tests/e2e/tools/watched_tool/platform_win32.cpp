#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

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

void useBinaryStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::string ownPath(const char*) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

namespace {

/// Starts program with args; stdout and stderr go into outputFile (made
/// anew) when it is not empty. The process handle, or null when it did not
/// start.
HANDLE spawnProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& outputFile) {
  std::string commandLine = quoted(program);
  for (const std::string& arg : args) commandLine += " " + quoted(arg);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE output = INVALID_HANDLE_VALUE;
  if (!outputFile.empty()) {
    SECURITY_ATTRIBUTES inherited = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    output = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return nullptr;
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  PROCESS_INFORMATION process;
  BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process);
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (!started) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

int waitFor(HANDLE process) {
  DWORD code = 0;
  WaitForSingleObject(process, INFINITE);
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return static_cast<int>(code);
}

}  // namespace

int startProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::string& outputFile, bool wait) {
  HANDLE process = spawnProgram(program, args, outputFile);
  if (process == nullptr) return -1;
  if (wait) return waitFor(process);
  CloseHandle(process);
  return 0;
}

int startDetached(const std::string& program, const std::vector<std::string>& args) {
  // A tool that keeps its own pipes to itself, yet lets the helper inherit
  // whatever else it holds: the helper then holds everything the tool was
  // given beyond its standard streams.
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    SetHandleInformation(GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
  }
  SECURITY_ATTRIBUTES inherited = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE null = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherited, OPEN_EXISTING, 0, nullptr);
  if (null == INVALID_HANDLE_VALUE) return -1;
  std::string commandLine = quoted(program);
  for (const std::string& arg : args) commandLine += " " + quoted(arg);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null;
  startup.hStdOutput = null;
  startup.hStdError = null;
  PROCESS_INFORMATION process;
  BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
                                DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                                &startup, &process);
  CloseHandle(null);
  if (!started) return -1;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

std::vector<int> runTogether(int count, const std::string& program,
                             const std::vector<std::string>& args,
                             const std::string& outputPrefix) {
  std::vector<HANDLE> processes;
  for (int i = 1; i <= count; ++i) {
    processes.push_back(spawnProgram(program, args, outputPrefix + "." + std::to_string(i)));
  }
  std::vector<int> statuses;
  for (HANDLE process : processes) statuses.push_back(process == nullptr ? -1 : waitFor(process));
  return statuses;
}

bool serveOnce(const std::string& path, const std::string& content,
               const std::function<void()>& announce, int timeoutMs) {
  HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return false;
  announce();
  OVERLAPPED overlapped;
  ZeroMemory(&overlapped, sizeof overlapped);
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  bool connected = ConnectNamedPipe(pipe, &overlapped) != 0;
  if (!connected && GetLastError() == ERROR_PIPE_CONNECTED) connected = true;
  if (!connected && GetLastError() == ERROR_IO_PENDING) {
    DWORD ignored;
    if (WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
      connected = GetOverlappedResult(pipe, &overlapped, &ignored, FALSE) != 0;
    } else {
      CancelIo(pipe);
      GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
    }
  }
  if (connected) {
    for (size_t at = 0; at < content.size();) {
      DWORD put = 0;
      ResetEvent(overlapped.hEvent);
      if (!WriteFile(pipe, content.data() + at, static_cast<DWORD>(content.size() - at), &put,
                     &overlapped) &&
          (GetLastError() != ERROR_IO_PENDING ||
           !GetOverlappedResult(pipe, &overlapped, &put, TRUE))) {
        break;
      }
      if (put == 0) break;
      at += put;
    }
    // Returns once the reader has taken every byte; closing then ends its stream.
    FlushFileBuffers(pipe);
  }
  CloseHandle(overlapped.hEvent);
  CloseHandle(pipe);
  return connected;
}

bool signalParent(int /*signal*/) { return false; }
