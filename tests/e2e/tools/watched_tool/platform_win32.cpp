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

int startProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::string& outputFile, bool wait) {
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
    if (output == INVALID_HANDLE_VALUE) return -1;
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  PROCESS_INFORMATION process;
  BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process);
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (!started) return -1;
  CloseHandle(process.hThread);
  DWORD code = 0;
  if (wait) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
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
