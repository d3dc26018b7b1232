// File services that differ between Windows and POSIX.
#ifndef TARNWICK_PLATFORM_FILE_SYSTEM_H
#define TARNWICK_PLATFORM_FILE_SYSTEM_H

/// The platform's folder separator: '\\' on Windows, '/' elsewhere.
extern const char kFolderSeparator;

/// True when a file-status query on path succeeds (a file or folder of any
/// kind exists there).
bool pathExists(const char* path);

#endif
