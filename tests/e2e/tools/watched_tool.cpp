// Plays the tool that tarnwick -exec watches. Its words are acted on in
// order; words it does not know are only arguments (see "argv").
//   out:TEXT, err:TEXT   write TEXT and the line end on stdout / stderr, flushed;
//                        in TEXT, \n \r \t \0 and \\ stand for their bytes
//   eol:lf|crlf|none     the line end of later lines (lf at first)
//   count:N              "line 1" to "line N" on stdout in one buffered run
//   long:N               N bytes 'x' on stdout without a line end
//   argv                 each argument after the program name as "[word]"
//   stdin                reads stdin to its end and prints "stdin: N bytes"
//   sleep:MS             waits MS milliseconds
//   logline:TEXT         adds a line to the log written by -o / -oa / serve:
//   -o FILE, -oa FILE    at the end, writes (-oa: appends) the log lines to FILE
//   serverlog:PATH       prints "See server log file PATH for details"
//   serve:PATH           the same, with PATH a named pipe (FIFO) made first that
//                        serves the log lines so far to its first reader: the
//                        tool goes on only once the file has been read
//   await:PATH:TEXT      waits until file PATH holds TEXT
//   spawn:MS:TEXT        starts a copy of itself that keeps stdout and stderr,
//                        sleeps MS milliseconds, prints TEXT, and outlives it
//   flood:N:EVERY:PREFIX writes N bytes on stdout and N on stderr at once (two
//                        threads), as numbered lines of 100 bytes ("out 000000001 ..."),
//                        the last one shorter; when EVERY is not 0, every EVERYth
//                        stdout line instead names the server log PREFIX<k>.log,
//                        written just before with the line "I00020110: soak <k>"
//   outs:N:TEXT          N lines of TEXT on stdout, each '#' in it the line's
//                        number (1 to N), written in large blocks at full speed
//   errs:N:TEXT          the same on stderr, on a thread of its own: the next
//                        words go on meanwhile; the tool waits for it at its end
//   both:N               "OUT 1" on stdout, "ERR 1" on stderr, ... to "OUT N", "ERR N"
//   note:PATH:TEXT       appends TEXT and "\n" to file PATH at once
//   detach ARGS...       (the last word) starts a copy of itself with ARGS that
//                        runs on its own: its standard streams on the null device,
//                        none of this program's, every other inheritable handle
//                        inherited (as compiler servers are started)
//   exit:N               ends with exit code N (after the logs are written)
//   raise:term           ends by raising SIGTERM
//   signalparent:N       sends signal N to the program that started it (POSIX;
//                        prints "unsupported" elsewhere)
//   launch FILE PROG ARGS...  (as the only mode) runs PROG with stdout and stderr
//                        into FILE, waits, and prints "status N"
//   together N FILE PROG ARGS...  (as the only mode) runs N copies of PROG at once,
//                        the output of copy i into FILE.i, waits for all, and
//                        prints "status N" for each
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "watched_tool/platform.h"

namespace {

constexpr int kPatienceMs = 60000;

bool startsWith(const std::string& word, const char* prefix, std::string* rest) {
  size_t length = std::strlen(prefix);
  if (word.compare(0, length, prefix) != 0) return false;
  *rest = word.substr(length);
  return true;
}

std::string unescape(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    char next = i + 1 < text.size() ? text[i + 1] : '\0';
    const char* known = "nrt0\\";
    const char* meant = "\n\r\t\0\\";
    const char* found = next != '\0' ? std::strchr(known, next) : nullptr;
    if (text[i] == '\\' && found != nullptr) {
      bytes += meant[found - known];
      ++i;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

void put(std::FILE* stream, const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

std::string readWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

/// The flood of one stream; see "flood:" above. Written in large blocks, so
/// that the tool is never the slow end.
void flood(std::FILE* stream, const char* tag, unsigned long long total, unsigned long every,
           const std::string& prefix) {
  std::string block;
  unsigned long long written = 0;
  unsigned long line = 0, logs = 0;
  while (written < total) {
    ++line;
    unsigned long long left = total - written;
    std::string text;
    if (left <= 300) {
      text = std::string(left - 1, '.') + "\n";
    } else if (every != 0 && line % every == 0) {
      std::string path = prefix + std::to_string(++logs) + ".log";
      if (std::FILE* log = std::fopen(path.c_str(), "wb")) {
        std::fprintf(log, "I00020110: soak %lu\n", logs);
        std::fclose(log);
      }
      text = "See server log file " + path + " for details\n";
    } else {
      char head[32];
      std::snprintf(head, sizeof head, "%s %09lu ", tag, line);
      text = head;
      text.append(99 - text.size(), '.');
      text += '\n';
    }
    block += text;
    written += text.size();
    if (block.size() >= 65536 || written == total) {
      std::fwrite(block.data(), 1, block.size(), stream);
      block.clear();
    }
  }
  std::fflush(stream);
}

/// The lines of "outs:" and "errs:" (see above). In large blocks, so that
/// the tool is never the slow end.
void numberedLines(std::FILE* stream, unsigned long count, const std::string& text,
                   const std::string& eol) {
  std::string block;
  for (unsigned long line = 1; line <= count; ++line) {
    for (char c : text) {
      if (c == '#') {
        block += std::to_string(line);
      } else {
        block += c;
      }
    }
    block += eol;
    if (block.size() >= 65536 || line == count) {
      std::fwrite(block.data(), 1, block.size(), stream);
      block.clear();
    }
  }
  std::fflush(stream);
}

/// N and TEXT of "N:TEXT".
std::pair<unsigned long, std::string> countAndText(const std::string& rest) {
  size_t colon = rest.find(':');
  return {std::strtoul(rest.c_str(), nullptr, 10),
          colon == std::string::npos ? std::string() : unescape(rest.substr(colon + 1))};
}

int together(int argc, char** argv) {
  if (argc < 5) return 2;
  std::vector<std::string> args(argv + 5, argv + argc);
  std::vector<int> statuses = runTogether(std::atoi(argv[2]), argv[4], args, argv[3]);
  for (int status : statuses) std::printf("status %d\n", status);
  return 0;
}

int launch(int argc, char** argv) {
  if (argc < 4) return 2;
  std::vector<std::string> args(argv + 4, argv + argc);
  int status = startProgram(argv[3], args, argv[2], true);
  std::printf("status %d\n", status);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  useBinaryStreams();
  if (argc > 1 && std::strcmp(argv[1], "launch") == 0) return launch(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "together") == 0) return together(argc, argv);

  std::string eol = "\n";
  std::string logText;
  std::vector<std::pair<std::string, bool>> logFiles;  // path, append
  int exitCode = 0;
  bool raiseTerm = false;
  std::vector<std::thread> writers;  // of "errs:"
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    std::string rest;
    if (startsWith(word, "out:", &rest)) {
      put(stdout, unescape(rest) + eol);
    } else if (startsWith(word, "err:", &rest)) {
      put(stderr, unescape(rest) + eol);
    } else if (startsWith(word, "eol:", &rest)) {
      eol = rest == "crlf" ? "\r\n" : rest == "none" ? "" : "\n";
    } else if (startsWith(word, "count:", &rest)) {
      for (int n = 1; n <= std::atoi(rest.c_str()); ++n) std::printf("line %d%s", n, eol.c_str());
      std::fflush(stdout);
    } else if (startsWith(word, "long:", &rest)) {
      put(stdout, std::string(std::strtoul(rest.c_str(), nullptr, 10), 'x'));
    } else if (word == "argv") {
      for (int n = 1; n < argc; ++n) put(stdout, "[" + std::string(argv[n]) + "]" + eol);
    } else if (word == "stdin") {
      size_t total = 0;
      char buffer[4096];
      while (size_t got = std::fread(buffer, 1, sizeof buffer, stdin)) total += got;
      put(stdout, "stdin: " + std::to_string(total) + " bytes" + eol);
    } else if (startsWith(word, "signalparent:", &rest)) {
      if (!signalParent(std::atoi(rest.c_str()))) put(stdout, "unsupported\n");
    } else if (startsWith(word, "sleep:", &rest)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(rest.c_str())));
    } else if (startsWith(word, "logline:", &rest)) {
      logText += unescape(rest) + "\n";
    } else if ((word == "-o" || word == "-oa") && i + 1 < argc) {
      logFiles.emplace_back(argv[++i], word == "-oa");
    } else if (startsWith(word, "serverlog:", &rest)) {
      put(stdout, "See server log file " + rest + " for details" + eol);
    } else if (startsWith(word, "serve:", &rest)) {
      std::string line = "See server log file " + rest + " for details" + eol;
      if (!serveOnce(
              rest, logText, [&] { put(stdout, line); }, kPatienceMs)) {
        put(stdout, "watched_tool: nobody read " + rest + eol);
      }
    } else if (startsWith(word, "await:", &rest)) {
      size_t colon = rest.find(':');
      std::string path = rest.substr(0, colon);
      std::string text = colon == std::string::npos ? "" : unescape(rest.substr(colon + 1));
      int waited = 0;
      while (readWhole(path).find(text) == std::string::npos && waited < kPatienceMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        waited += 5;
      }
      if (waited >= kPatienceMs) put(stdout, "watched_tool: no '" + text + "' in " + path + eol);
    } else if (startsWith(word, "spawn:", &rest)) {
      size_t colon = rest.find(':');
      std::vector<std::string> args = {"sleep:" + rest.substr(0, colon),
                                       "out:" + rest.substr(colon + 1)};
      if (startProgram(ownPath(argv[0]), args, "", false) != 0) {
        put(stdout, "watched_tool: cannot start a copy" + eol);
      }
    } else if (startsWith(word, "flood:", &rest)) {
      char* end = nullptr;
      unsigned long long total = std::strtoull(rest.c_str(), &end, 10);
      unsigned long every = std::strtoul(end + (*end == ':'), &end, 10);
      std::string prefix = *end == ':' ? std::string(end + 1) : std::string();
      std::thread errors(flood, stderr, "err", total, 0, std::string());
      flood(stdout, "out", total, every, prefix);
      errors.join();
    } else if (startsWith(word, "outs:", &rest)) {
      auto [count, text] = countAndText(rest);
      numberedLines(stdout, count, text, eol);
    } else if (startsWith(word, "errs:", &rest)) {
      auto [count, text] = countAndText(rest);
      writers.emplace_back(numberedLines, stderr, count, text, eol);
    } else if (startsWith(word, "both:", &rest)) {
      for (int n = 1; n <= std::atoi(rest.c_str()); ++n) {
        std::fprintf(stdout, "OUT %d%s", n, eol.c_str());
        std::fprintf(stderr, "ERR %d%s", n, eol.c_str());
      }
      std::fflush(stdout);
    } else if (startsWith(word, "note:", &rest)) {
      size_t colon = rest.find(':');
      std::ofstream(rest.substr(0, colon), std::ios::binary | std::ios::app)
          << (colon == std::string::npos ? "" : unescape(rest.substr(colon + 1))) << "\n";
    } else if (word == "detach") {
      std::vector<std::string> args(argv + i + 1, argv + argc);
      if (startDetached(ownPath(argv[0]), args) != 0) {
        put(stdout, "watched_tool: cannot start a copy" + eol);
      }
      break;
    } else if (startsWith(word, "exit:", &rest)) {
      exitCode = std::atoi(rest.c_str());
    } else if (word == "raise:term") {
      raiseTerm = true;
    }
  }
  for (std::thread& writer : writers) writer.join();
  for (const auto& [path, append] : logFiles) {
    std::FILE* file = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (file == nullptr) continue;
    std::fwrite(logText.data(), 1, logText.size(), file);
    std::fclose(file);
  }
  std::fflush(stdout);
  if (raiseTerm) std::raise(SIGTERM);
  return exitCode;
}
