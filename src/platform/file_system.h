// File services that differ between Windows and POSIX.
#ifndef TARNWICK_PLATFORM_FILE_SYSTEM_H
#define TARNWICK_PLATFORM_FILE_SYSTEM_H

#include <cstdio>
#include <string>

/// The platform's folder separator: '\\' on Windows, '/' elsewhere.
extern const char kFolderSeparator;

/// True when c separates path components for the file system: '/' on POSIX;
/// '\\' and '/' on Windows, which accepts both.
bool isFolderSeparator(char c);

/// True when a file-status query on path succeeds (a file or folder of any
/// kind exists there).
bool pathExists(const char* path);

/// Creates the one folder path (not its parents). On failure returns false
/// and leaves the C runtime's errno as the creation set it (ENOENT: a parent
/// is missing); errno is not cleared first.
bool createFolder(const char* path);

/// Copies source to target, refusing to overwrite: an existing target is
/// never touched. The target gets the source's permission bits and
/// modification time. A copy that fails leaves no target behind. On failure
/// returns false and lastSystemError() tells why.
bool copyFileNoOverwrite(const char* source, const char* target);

/// Why the last copyFileNoOverwrite on this thread failed (GetLastError on
/// Windows, errno elsewhere). Ask before any other call can change it.
int lastSystemError();

/// The system's text for code, ending in its line end ("\r\n" on Windows,
/// "\n" elsewhere); empty when the system has no text for it.
std::string systemErrorText(int code);

/// Deletes the file at path; false when it could not be deleted.
bool deleteFile(const char* path);

/// True when file, opened for reading, is a folder: the POSIX runtime opens
/// a folder and fails every read, where the Windows one refuses to open it.
bool isOpenFolder(std::FILE* file);

/// Moves from onto to in one step, replacing a file already at to; false
/// when the move failed (from is then left as it was).
bool replaceFile(const char* from, const char* to);

/// The running process's id, for names of temporary files.
unsigned long currentProcessId();

/// The process's standard input, switched to binary reads where the runtime
/// would otherwise translate line ends or stop at Ctrl-Z.
std::FILE* binaryStandardInput();

#endif
