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

/// True when path names its place without the current folder: it begins
/// with '/' on POSIX; with a separator or a drive letter and ':' on Windows.
bool isRootedPath(const char* path);

/// True when a file-status query on path succeeds (a file or folder of any
/// kind exists there).
bool pathExists(const char* path);

/// Creates the one folder path (not its parents). On failure returns false
/// and leaves the C runtime's errno as the creation set it (ENOENT: a parent
/// is missing); errno is not cleared first.
bool createFolder(const char* path);

/// True when the file system takes a and b as the same character of a name:
/// only equal bytes on POSIX; on Windows also ASCII letters that differ in
/// case, and '/' with '\\'.
bool sameNameCharacter(char a, char b);

/// Copies the regular file source to target, refusing to overwrite: an
/// existing target is never touched. The bytes go to a temporary file in the
/// target's folder (".<name>.tarnwick-<process id>.tmp"), which is flushed to
/// stable storage and then moved to the target's name in one step that
/// refuses to replace a file, so the target appears whole or not at all, even
/// when the process is killed. The target gets the source's permission bits
/// and modification time where the file system allows; failing to set them
/// does not fail the copy. A copy that fails leaves neither file behind. On
/// failure returns false and lastSystemError() tells why: the same code as for
/// an existing target when another copy took the name first, and
/// kNotRegularFile for a source that is no regular file (a FIFO, a device).
bool copyFileNoOverwrite(const char* source, const char* target);

/// The temporary file a copy to target writes first: in target's folder,
/// hidden, named after target and processId so that it cannot be taken for a
/// build output nor be another run's (a long name is shortened, so that the
/// temporary name is no longer than the file system allows).
std::string temporaryCopyName(const std::string& target, unsigned long processId);

/// The error code of a copy whose source is no regular file; no system code.
extern const int kNotRegularFile;

/// The steps of copyFileNoOverwrite at which a test can make it fail.
enum class CopyStep {
  kData,         // the temporary file holds data (POSIX: its first block)
  kPermissions,  // setting the permission bits (POSIX)
  kTimes,        // setting the modification time (POSIX)
  kFlush,        // flushing the temporary file to stable storage
  kFlushed,      // the flush is done (a test sees that it happened)
  kClose,        // closing the temporary file (POSIX: its descriptor)
  kRename,       // the move to the target's name that refuses to replace
  kLink,         // POSIX: the hard link used where that move is unsupported
};

/// For tests: hook is called before each step with the temporary file's
/// path; a nonzero result fails that step with it as the system's error code.
/// nullptr (the default) removes it.
using CopyStepHook = int (*)(CopyStep step, const char* temporary);
void setCopyStepHook(CopyStepHook hook);

/// Why the last copyFileNoOverwrite on this thread failed (GetLastError on
/// Windows, errno elsewhere). Ask before any other call can change it.
int lastSystemError();

/// The system's text for code, ending in one "\n" (the system's own CR LF on
/// Windows becomes "\n", which the runtime writes as CR LF in text mode);
/// empty when the system has no text for it.
std::string systemErrorText(int code);

/// Deletes the file at path; false when it could not be deleted.
bool deleteFile(const char* path);

/// True when file, opened for reading, is a folder: the POSIX runtime opens
/// a folder and fails every read, where the Windows one refuses to open it.
bool isOpenFolder(std::FILE* file);

/// Moves from onto to in one step, replacing a file already at to; false
/// when the move failed (from is then left as it was).
bool replaceFile(const char* from, const char* to);

/// What a name denotes, symbolic links followed: nothing, a regular file, a
/// folder, or anything else (a device, FIFO, socket or pipe).
enum class PathKind { kMissing, kRegularFile, kFolder, kOther };
PathKind pathKind(const char* path);

/// Creates the file at path for reading and writing, exclusively and without
/// following a link (O_EXCL | O_NOFOLLOW; CREATE_NEW on Windows), so that a
/// link planted under a temporary name never leads the write elsewhere. A
/// file or link already there, which only a killed run with this process id
/// can have left, is removed (the link itself) and the creation tried once
/// more. Null on failure. The caller closes the stream.
std::FILE* createNewFile(const char* path);

/// Opens path, an existing device, pipe or FIFO, for writing without
/// creating or truncating anything (a FIFO's open waits for its reader). Null
/// on failure. The caller closes the stream.
std::FILE* openForWriting(const char* path);

/// 1 when path is the file the process's stdout writes, 2 when its stderr's,
/// by identity (so "/dev/stdout" and the file stdout was redirected to are
/// found); 0 otherwise, also when the process has no such stream.
int standardStreamOf(const char* path);

/// The file that a write replacing path replaces: on POSIX path with every
/// symbolic link along its last component followed (a link's relative target
/// read from the link's folder), so that the link stays and its target gets
/// the new content; elsewhere path itself.
std::string linkTarget(const std::string& path);

/// Cuts file, open for writing, to size bytes and moves its position there;
/// false on failure. Flushes the stream first.
bool truncateOpenFile(std::FILE* file, long long size);

/// True when the last component of path is no longer than its folder's file
/// system allows for one name (true when that cannot be asked).
bool nameFitsFolder(const char* path);

/// std::fopen(path, mode), also for a name too long for the narrow calls on
/// Windows (there the wide call with the long-path prefix); null with errno
/// set when the file does not open. The caller closes the stream.
std::FILE* openFile(const char* path, const char* mode);

/// The running process's id, for names of temporary files.
unsigned long currentProcessId();

/// The process's standard input, switched to binary reads where the runtime
/// would otherwise translate line ends or stop at Ctrl-Z.
std::FILE* binaryStandardInput();

#endif
