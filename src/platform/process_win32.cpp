// The watched tool on Windows: three inheritable pipes, of which the
// parent's ends are swapped for non-inheritable duplicates so that the child
// (and whatever it starts) holds only its own ends; the child is given those
// three ends by name and inherits nothing else. Each handle is closed as
// soon as no side needs it any more.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/process.h"

namespace {

/// What one reader thread is given; lives in Execute's frame.
struct ReaderContext {
  HANDLE pipe;
  StreamConsumer handler;
};

DWORD WINAPI readerThread(LPVOID parameter) {
  const ReaderContext* context = static_cast<const ReaderContext*>(parameter);
  HANDLE pipe = context->pipe;
  context->handler([pipe](char* into, size_t room) -> std::ptrdiff_t {
    DWORD got = 0;
    if (!ReadFile(pipe, into, static_cast<DWORD>(room), &got, nullptr)) return -1;
    return static_cast<std::ptrdiff_t>(got);
  });
  return 0;
}

/// Makes a pipe and swaps the end kept by the parent (the write end when
/// parentWrites, else the read end) for a non-inheritable duplicate.
bool makePipe(HANDLE* childEnd, HANDLE* parentEnd, bool parentWrites, const char* pipeError,
              const char* duplicateError, ExecuteErrorSink onError) {
  SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &attributes, 0)) {
    onError(executeError(static_cast<int32_t>(GetLastError()), "%s", pipeError));
    return false;
  }
  HANDLE made = parentWrites ? writeEnd : readEnd;
  *childEnd = parentWrites ? readEnd : writeEnd;
  HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, made, self, parentEnd, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    onError(executeError(static_cast<int32_t>(GetLastError()), "%s", duplicateError));
    return false;
  }
  CloseHandle(made);
  return true;
}

/// Starts a reader thread; one that cannot start gets its pipe closed, so
/// that the child's writes fail instead of filling the pipe for ever.
HANDLE startReader(ReaderContext* context, const char* name, ExecuteErrorSink onError) {
  HANDLE thread = CreateThread(nullptr, 0, readerThread, context, 0, nullptr);
  DWORD error = GetLastError();
  if (thread == nullptr) {
    onError(executeError(static_cast<int32_t>(error),
                         "Execute - Error creating %s, ThreadError=%ld", name,
                         static_cast<long>(error)));
    CloseHandle(context->pipe);
    context->pipe = nullptr;
  }
  return thread;
}

}  // namespace

std::string exitCodeText(int32_t exitCode) {
  std::string text = std::to_string(exitCode);
  // Small negative codes are a program's own exit(-n); below them lie the
  // system's status codes (0xC0000005, an access violation), known by hex.
  if (exitCode < -0xFFFF) {
    char hex[16];
    std::snprintf(hex, sizeof hex, " (0x%08lX)",
                  static_cast<unsigned long>(static_cast<uint32_t>(exitCode)));
    text += hex;
  }
  return text;
}

int32_t Execute(char* commandLine, uint32_t* exitCode, StreamConsumer onStdout,
                StreamConsumer onStderr, ExecuteErrorSink onError) {
  HANDLE stdinRead = nullptr, stdinWrite = nullptr;
  HANDLE stdoutRead = nullptr, stdoutWrite = nullptr;
  HANDLE stderrRead = nullptr, stderrWrite = nullptr;
  if (!makePipe(&stdinRead, &stdinWrite, true, "Execute - Couldn't create StdIn pipe",
                "Execute - Can't duplicate StdIn write handle!", onError) ||
      !makePipe(&stdoutWrite, &stdoutRead, false, "Execute - Couldn't create StdOut pipe",
                "Execute - Can't duplicate StdOut read handle!", onError) ||
      !makePipe(&stderrWrite, &stderrRead, false, "Execute - Couldn't create StdErr pipe",
                "Execute - Can't duplicate StdErr read handle!", onError)) {
    return -1;
  }

  // The child inherits its three pipe ends and nothing else: were it given
  // every inheritable handle, tarnwick's own output would go with them, and
  // a helper the tool leaves running would keep that open after tarnwick
  // has ended.
  HANDLE inherited[3] = {stdinRead, stdoutWrite, stderrWrite};
  SIZE_T listSize = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
  std::vector<char> listStorage(listSize);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listStorage.data());
  bool made = listSize != 0 && InitializeProcThreadAttributeList(list, 1, 0, &listSize);
  bool listed = made && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                  inherited, sizeof inherited, nullptr, nullptr);
  STARTUPINFOEXA startup;
  ZeroMemory(&startup, sizeof startup);
  GetStartupInfoA(&startup.StartupInfo);
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = stdinRead;
  startup.StartupInfo.hStdOutput = stdoutWrite;
  startup.StartupInfo.hStdError = stderrWrite;
  startup.lpAttributeList = listed ? list : nullptr;
  PROCESS_INFORMATION process;
  BOOL started = CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE,
                                CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                &startup.StartupInfo, &process);
  DWORD error = GetLastError();
  if (made) DeleteProcThreadAttributeList(list);
  if (!started) {
    onError(executeError(static_cast<int32_t>(error), "Execute - Couldn't create process, %s",
                         commandLine));
    // A failure without a code must still read as a failed start.
    return error != 0 ? static_cast<int32_t>(error) : -1;
  }

  // From here the child and its descendants hold the only write ends, and
  // the child's stdin is at end of input.
  CloseHandle(process.hThread);
  CloseHandle(stdoutWrite);
  CloseHandle(stderrWrite);
  CloseHandle(stdinRead);
  CloseHandle(stdinWrite);

  ReaderContext outContext = {stdoutRead, onStdout};
  ReaderContext errContext = {stderrRead, onStderr};
  HANDLE outThread = startReader(&outContext, "OutThread", onError);
  HANDLE errThread = startReader(&errContext, "ErrThread", onError);

  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  if (GetExitCodeProcess(process.hProcess, &code)) {
    *exitCode = code;
  } else {
    onError(executeError(static_cast<int32_t>(GetLastError()), "GetExitCodeProcess fails\n"));
  }

  if (outThread != nullptr) WaitForSingleObject(outThread, INFINITE);
  if (errThread != nullptr) WaitForSingleObject(errThread, INFINITE);
  if (outContext.pipe != nullptr) CloseHandle(outContext.pipe);
  if (errContext.pipe != nullptr) CloseHandle(errContext.pipe);
  if (outThread != nullptr) CloseHandle(outThread);
  if (errThread != nullptr) CloseHandle(errThread);
  CloseHandle(process.hProcess);
  return 0;
}
