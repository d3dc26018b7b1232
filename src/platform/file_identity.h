// Telling whether two names denote one file, as the file system sees it.
#ifndef TARNWICK_PLATFORM_FILE_IDENTITY_H
#define TARNWICK_PLATFORM_FILE_IDENTITY_H

/// True when a and b are spellings of one name: byte for byte on POSIX; on
/// Windows after both are made absolute (relative to the current folder,
/// "." and ".." resolved, '/' read as '\') and compared ignoring case.
bool sameFileName(const char* a, const char* b);

/// True when a and b denote the same file. Two names that both exist are
/// compared by the file's identity (device and inode on POSIX, volume and
/// file index on Windows), so links and other spellings are found too;
/// otherwise by name: on POSIX the same folder (links resolved) and the same
/// last component, on Windows as sameFileName. Opens neither file's data.
bool sameFile(const char* a, const char* b);

/// True when path is the file the process reads as its standard input, by
/// identity (a log file given as "-" that the run itself writes would be
/// read without end). False when either cannot be asked.
bool isStandardInput(const char* path);

#endif
