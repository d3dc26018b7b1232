#include "e2e_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string fromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string programUnderTest() {
  return fromEnvironment("TARNWICK_E2E_BINARY", TARNWICK_E2E_BINARY);
}
std::string toolsFolder() { return fromEnvironment("TARNWICK_E2E_TOOLS", TARNWICK_E2E_TOOLS); }
std::string runner() { return fromEnvironment("TARNWICK_E2E_RUNNER", ""); }

constexpr int kTimeoutSeconds = 240;

/// Where the program's stderr goes: a pipe of its own (read into err), the
/// stdout pipe (as after 2>&1), or the null device.
enum class Stderr { kPipe, kJoined, kNull };

/// Runs argv[0] with argv in folder, feeding stdinText and collecting its
/// output until the program ends and every holder of its output pipes has
/// closed them.
RunResult spawn(const std::vector<std::string>& argv, const std::string& folder,
                const std::string& stdinText, size_t memoryLimit = 0,
                Stderr stderrGoes = Stderr::kPipe, const std::string& stdinFile = "",
                const std::string& stdoutFile = "") {
  RunResult result;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  pid_t child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    if (!stdinFile.empty()) {
      int file = open(stdinFile.c_str(), O_RDONLY);
      if (file < 0) _exit(124);
      dup2(file, 0);
      close(file);
    }
    dup2(out[1], 1);
    if (!stdoutFile.empty()) {
      int file = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (file < 0) _exit(124);
      dup2(file, 1);
      close(file);
    }
    if (stderrGoes == Stderr::kNull) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      close(null);
    } else {
      dup2(stderrGoes == Stderr::kJoined ? out[1] : err[1], 2);
    }
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (chdir(folder.c_str()) != 0) _exit(126);
    if (memoryLimit != 0) {
      rlimit limit{memoryLimit, memoryLimit};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(125);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  size_t written = 0;
  if (stdinText.empty()) {
    close(in[1]);
    in[1] = -1;
  } else {
    fcntl(in[1], F_SETFL, O_NONBLOCK);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
  int openStreams = 2;
  while (openStreams > 0) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    int ready = poll(fds, in[1] >= 0 ? 3 : 2, 1000);
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      ADD_FAILURE() << "timed out: " << argv[0];
      break;
    }
    if (ready <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(got));
      } else {
        close(fds[i].fd);
        (i == 0 ? out[0] : err[0]) = -1;
        --openStreams;
      }
    }
    if (in[1] >= 0 && fds[2].revents != 0) {
      ssize_t put = write(in[1], stdinText.data() + written, stdinText.size() - written);
      if (put > 0) written += static_cast<size_t>(put);
      if (put < 0 || written == stdinText.size()) {
        close(in[1]);
        in[1] = -1;
      }
    }
  }
  for (int fd : {in[1], out[0], err[0]}) {
    if (fd >= 0) close(fd);
  }
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::vector<std::string> withRunner(const std::string& program,
                                    const std::vector<std::string>& args) {
  std::vector<std::string> argv;
  if (!runner().empty()) argv.push_back(runner());
  argv.push_back(program);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

bool E2ETest::windowsTarget() { return fromEnvironment("TARNWICK_E2E_TARGET", "") == "windows"; }

std::string E2ETest::noSuchProgramText() {
  // Wine's text for ERROR_FILE_NOT_FOUND; Windows itself says "The system
  // cannot find the file specified."
  return windowsTarget() ? "File not found." : "No such file or directory";
}

char E2ETest::separator() { return windowsTarget() ? '\\' : '/'; }

void E2ETest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-e2e-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  ASSERT_NE(mkdtemp(name.data()), nullptr) << std::strerror(errno);
  folder_ = name.data();
}

void E2ETest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

RunResult E2ETest::run(const std::vector<std::string>& args, const std::string& stdinText) {
  return spawn(withRunner(programUnderTest(), args), folder_, stdinText);
}

RunResult E2ETest::runWithMemoryLimit(const std::vector<std::string>& args, size_t limitBytes) {
  return spawn(withRunner(programUnderTest(), args), folder_, "", limitBytes);
}

RunResult E2ETest::runWithStdinFile(const std::vector<std::string>& args, const std::string& rel) {
  return spawn(withRunner(programUnderTest(), args), folder_, "", 0, Stderr::kPipe, hostPath(rel));
}

RunResult E2ETest::runWithStdoutFile(const std::vector<std::string>& args, const std::string& rel) {
  return spawn(withRunner(programUnderTest(), args), folder_, "", 0, Stderr::kPipe, "",
               hostPath(rel));
}

RunResult E2ETest::runJoined(const std::vector<std::string>& args) {
  return spawn(withRunner(programUnderTest(), args), folder_, "", 0, Stderr::kJoined);
}

RunResult E2ETest::runWithoutStderr(const std::vector<std::string>& args) {
  return spawn(withRunner(programUnderTest(), args), folder_, "", 0, Stderr::kNull);
}

RunResult E2ETest::runExec(const std::vector<std::string>& options,
                           const std::vector<std::string>& words, const std::string& stdinText) {
  std::vector<std::string> args = options;
  args.push_back("-exec");
  args.push_back(tool());
  args.insert(args.end(), words.begin(), words.end());
  return run(args, stdinText);
}

RunResult E2ETest::runTool(const std::string& name, const std::vector<std::string>& args) {
  return spawn(withRunner(toolsFolder() + "/" + name + (windowsTarget() ? ".exe" : ""), args),
               folder_, "");
}

std::string E2ETest::hostPath(const std::string& rel) const { return folder_ + "/" + rel; }

std::string E2ETest::targetRelative(const std::string& rel) {
  std::string path = rel;
  for (char& c : path) {
    if (c == '/') c = separator();
  }
  return path;
}

std::string E2ETest::targetPath(const std::string& rel) const {
  std::string host = rel.empty() ? folder_ : hostPath(rel);
  return windowsTarget() ? "Z:" + targetRelative(host) : host;
}

std::string E2ETest::programPath() {
  std::string host = programUnderTest();
  return windowsTarget() ? "Z:" + targetRelative(host) : host;
}

std::string E2ETest::toolPath(const std::string& name) {
  std::string host = toolsFolder() + "/" + name;
  return windowsTarget() ? "Z:" + targetRelative(host) + ".exe" : host;
}

void E2ETest::writeFile(const std::string& rel, const std::string& content) const {
  std::ofstream file(hostPath(rel), std::ios::binary);
  file << content;
  ASSERT_TRUE(file.good()) << rel;
}

std::string E2ETest::readFile(const std::string& rel) const {
  std::ifstream file(hostPath(rel), std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

bool E2ETest::exists(const std::string& rel) const {
  struct stat status;
  return lstat(hostPath(rel).c_str(), &status) == 0;
}

void E2ETest::makeFolder(const std::string& rel) const {
  std::filesystem::create_directories(hostPath(rel));
}

std::string E2ETest::textMode(const std::string& text) {
  if (!windowsTarget()) return text;
  std::string converted;
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

std::string usageText(const std::string& message) {
  std::string text = "Tarnwick version 0.10\n";
  if (!message.empty()) text += "ERROR: " + message + "\n";
  text +=
      "Usage:\ttarnwick [-debug] [-sanitize] [-Dname=value] [-cfg <configfile>] -exec "
      "<cmd_to_run> [<arg1> ...]\n"
      "\ttarnwick [-debug] [-Dname=value] [-cfg <configfile>] -log <logfile>\n"
      "\ttarnwick -scan <logfile>\n";
  return text;
}

std::string summary(int success, int failure, int ignore, int summaryCount, int unmatched) {
  return "success:   " + std::to_string(success) + "\nfailure:   " + std::to_string(failure) +
         "\nignore:    " + std::to_string(ignore) + "\nsummary:   " + std::to_string(summaryCount) +
         "\nunmatched: " + std::to_string(unmatched) + "\n";
}

std::string copySummary(int success, int failure, int ignore, int summaryCount, int unmatched,
                        int copied, int copyFailed) {
  return summary(success, failure, ignore, summaryCount, unmatched) +
         "copied:    " + std::to_string(copied) + "\ncopy fail: " + std::to_string(copyFailed) +
         "\n";
}

std::string argsShown(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += " " + arg;
  return text;
}

std::string inRoot(const std::string& children) {
  return "<?xml version=\"1.0\"?>\n<tarnwick>\n" + children + "</tarnwick>\n";
}

std::string utf16WithMark(const std::u16string& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

const char kNothing[] = "ERROR: Nothing was processed\n";
const std::string kNoTotals = summary(0, 0, 0, 0, 0) + kNothing;

std::string E2ETest::quoted(const std::vector<std::string>& words) {
  std::string line = "\"" + tool() + "\"";
  for (const std::string& word : words) line += " \"" + word + "\"";
  return line;
}

std::string E2ETest::cmd(const std::vector<std::string>& words) {
  return "cmd = [" + quoted(words) + "]\n";
}

RunResult E2ETest::runLog(const std::vector<std::string>& lines,
                          const std::vector<std::string>& options, bool closed) {
  std::string log;
  for (const std::string& line : lines) log += line + "\n";
  writeFile("build.log", log + (closed ? "OK\n" : ""));
  std::vector<std::string> args = options;
  for (const char* arg : {"-cfg", "rules.xml", "-log", "build.log"}) args.push_back(arg);
  return run(args);
}

void E2ETest::writeRules(const std::string& children, const std::string& rootAttributes) const {
  writeFile("rules.xml", "<?xml version=\"1.0\"?>\n<tarnwick" + rootAttributes +
                             ">\n  <success>^OK$</success>\n  <failure>^E</failure>\n" + children +
                             "</tarnwick>\n");
}

void E2ETest::writeBuildTree() const {
  makeFolder("build/bin/sub");
  writeFile("build/bin/sub/a.dll", "deep a");
  writeFile("build/bin/b.dll", "b");
  writeFile("build/c.txt", "c");
  writeFile("secret.txt", "secret");
  makeFolder("drop");
}
