// The gnu and cmake packs on real output: a small project is built with gcc,
// g++, clang or clang++, by make, or by CMake with Ninja or make, in the
// test's folder, clean and then broken in turn (a syntax error, a missing
// header, an undefined reference, a failing custom command, two errors
// under -k, a CMake error), and the pack's verdict, failure lines and listed
// files must agree with what the build did. One project per toolchain is
// rebuilt step by step, as a developer would, so CMake configures it once.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "rulepack_support.h"

namespace {

const char kUtilH[] = "int twice(int);\n";
const char kUtil[] = "#include \"util.h\"\nint twice(int x) { return 2 * x; }\n";
const char kUtilMissingHeader[] = "#include \"missing.h\"\nint twice(int x) { return 2 * x; }\n";
const char kMain[] =
    "#include <stdio.h>\n#include \"util.h\"\nint main(void) {\n"
    "  printf(\"%d\\n\", twice(2));\n  return 0;\n}\n";
const char kMainSyntax[] =
    "#include <stdio.h>\n#include \"util.h\"\nint main(void) {\n"
    "  printf(\"%d\\n\", twice(2))\n  return 0;\n}\n";
const char kMainUndefined[] =
    "#include <stdio.h>\n#include \"util.h\"\nint thrice(int);\nint main(void) {\n"
    "  printf(\"%d\\n\", thrice(2));\n  return 0;\n}\n";
// The custom command's script: it writes version.h, or fails the way a
// build's own tools do.
const char kGenerator[] = "echo '#define VERSION 1' >version.h\n";
const char kGeneratorFails[] = "echo 'gen-version: cannot read VERSION' >&2\nexit 3\n";

enum class Break { kNone, kSyntax, kMissingHeader, kUndefined, kCustomCommand, kTwo, kCMake };

struct Step {
  Break broken;
  /// The failure lines, in order; '*' stands for any run of bytes, @DIR@
  /// for the project's folder.
  std::vector<std::string> failures;
  /// The files the pack's list example writes, in any order.
  std::vector<std::string> listed;
};

bool cplusplus(const std::string& compiler) { return compiler.find("++") != std::string::npos; }

std::string replaceDir(std::string text, const std::string& dir) {
  for (size_t at; (at = text.find("@DIR@")) != std::string::npos;) text.replace(at, 5, dir);
  return text;
}

class ToolchainTest : public RulePackTest {
 protected:
  /// Builds the project with pack's toolchain (generator empty: plain make),
  /// one step after the other, and checks each step's log.
  void check(const std::string& pack, const std::string& generator, const std::string& compiler,
             const std::vector<Step>& steps) {
    std::string x = cplusplus(compiler) ? "cpp" : "c";
    writeFile("util.h", kUtilH);
    if (generator.empty()) {
      std::string makefile = "prog: main.o util.o\n\t" +
                             std::string(cplusplus(compiler) ? "$(CXX)" : "$(CC)") +
                             " -o $@ main.o util.o\nmain.o: main." + x + " util.h version.h\n" +
                             "util.o: util." + x + " util.h\nversion.h: gen.sh\n\tsh gen.sh\n";
      writeFile("Makefile", makefile);
    }
    for (size_t i = 0; i < steps.size(); ++i) {
      const Step& step = steps[i];
      SCOPED_TRACE(pack + " " + generator + " " + compiler + " step " + std::to_string(i));
      writeSources(x, step.broken, generator);
      std::string log = "build" + std::to_string(i) + ".log";
      int status = build(log, generator, compiler, step.broken == Break::kTwo);

      writePackWithList(pack);
      std::string out = "out" + std::to_string(i);
      makeFolder(out);
      PackRun run = analyse("", log, {"-DOUT=" + hostPath(out)}, "with-list.xml");
      std::string text = readFile(log);
      // The packs set maxfailures="0": a failed build fails the run.
      EXPECT_EQ(run.status, status == 0 ? 0 : 1) << run.out;
      EXPECT_EQ(run.verdict(), status == 0 ? "passed" : "failed") << text << run.out;
      ASSERT_EQ(run.failures.size(), step.failures.size()) << text << run.out;
      for (size_t f = 0; f < step.failures.size(); ++f) {
        std::string expected = replaceDir(step.failures[f], folder_);
        EXPECT_TRUE(globMatches(expected, run.failures[f]))
            << "expected " << expected << "\n     got " << run.failures[f];
      }
      std::vector<std::string> expectedFiles, listedFiles;
      for (const std::string& file : step.listed) {
        expectedFiles.push_back(replaceDir(file, folder_));
      }
      std::string listing = readFile(out + "/error-files.lst");
      for (size_t from = 0, end; (end = listing.find('\n', from)) != std::string::npos;
           from = end + 1) {
        listedFiles.push_back(listing.substr(from, end - from));
      }
      std::sort(expectedFiles.begin(), expectedFiles.end());
      std::sort(listedFiles.begin(), listedFiles.end());
      EXPECT_EQ(listedFiles, expectedFiles);
    }
  }

 private:
  void writeSources(const std::string& x, Break broken, const std::string& generator) {
    const char* main = kMain;
    if (broken == Break::kSyntax || broken == Break::kTwo) main = kMainSyntax;
    if (broken == Break::kUndefined) main = kMainUndefined;
    writeFile("main." + x, main);
    bool headerMissing = broken == Break::kMissingHeader || broken == Break::kTwo;
    writeFile("util." + x, headerMissing ? kUtilMissingHeader : kUtil);
    writeFile("gen.sh", broken == Break::kCustomCommand ? kGeneratorFails : kGenerator);
    if (!generator.empty()) {
      std::string cmake = "cmake_minimum_required(VERSION 3.13)\nproject(demo " +
                          std::string(x == "cpp" ? "CXX" : "C") + ")\n";
      if (broken == Break::kCMake) cmake += "find_package(NoSuchPackage REQUIRED)\n";
      cmake += "add_library(util STATIC util." + x + ")\nadd_executable(prog main." + x +
               ")\ntarget_link_libraries(prog util)\n"
               "add_custom_command(OUTPUT version.h COMMAND sh ${CMAKE_SOURCE_DIR}/gen.sh\n"
               "  DEPENDS ${CMAKE_SOURCE_DIR}/gen.sh)\n"
               "add_custom_target(version ALL DEPENDS version.h)\n";
      writeFile("CMakeLists.txt", cmake);
    }
  }

  /// Runs the build, both streams into log; returns its exit status.
  int build(const std::string& log, const std::string& generator, const std::string& compiler,
            bool keepGoing) {
    std::string variable = cplusplus(compiler) ? "CXX=" : "CC=";
    std::string command;
    if (generator.empty()) {
      command = std::string("make") + (keepGoing ? " -k " : " ") + variable + compiler;
    } else {
      command = variable + compiler + " cmake -S . -B build -G '" + generator +
                "' && cmake --build build";
      if (keepGoing) command += generator == "Ninja" ? " -- -k 0" : " -- -k";
    }
    std::string line =
        "cd '" + hostPath("") + "' && { " + command + "; } >'" + log + "' 2>&1; echo $? >status";
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
    return std::atoi(readFile("status").c_str());
  }
};

// gcc and g++ end a failed link with collect2's line, clang with its own.
std::string linkFailed(const std::string& compiler) {
  return compiler.rfind("clang", 0) == 0
             ? "clang*: error: linker command failed with exit code 1 (use -v to see invocation)"
             : "collect2: error: ld returned 1 exit status";
}

std::vector<Step> plainMakeSteps(const std::string& cc) {
  std::string x = cplusplus(cc) ? "cpp" : "c";
  return {
      {Break::kNone, {}, {}},
      {Break::kSyntax,
       {"main." + x + ":4:*: error: *", "make: *** [*main.o] Error 1"},
       {"main." + x}},
      {Break::kMissingHeader,
       {"util." + x + ":1:*: fatal error: *", "make: *** [*util.o] Error 1"},
       {"util." + x}},
      {Break::kUndefined,
       {"main." + x + ":(.text+0x*): undefined reference to `thrice*'", linkFailed(cc),
        "make: *** [Makefile:2: prog] Error 1"},
       {}},
      {Break::kCustomCommand, {"make: *** [Makefile:*: version.h] Error 3"}, {}},
      {Break::kTwo,
       {"main." + x + ":4:*: error: *", "make: *** [*main.o] Error 1",
        "util." + x + ":1:*: fatal error: *", "make: *** [*util.o] Error 1"},
       {"main." + x, "util." + x}},
  };
}

TEST_F(ToolchainTest, GnuMakeWithGcc) { check("gnu", "", "gcc", plainMakeSteps("gcc")); }
TEST_F(ToolchainTest, GnuMakeWithGxx) { check("gnu", "", "g++", plainMakeSteps("g++")); }
TEST_F(ToolchainTest, GnuMakeWithClang) { check("gnu", "", "clang", plainMakeSteps("clang")); }

std::vector<Step> ninjaSteps(const std::string& cc) {
  std::string x = cplusplus(cc) ? "cpp" : "c";
  return {
      {Break::kNone, {}, {}},
      {Break::kSyntax,
       {"FAILED: CMakeFiles/prog.dir/main." + x + ".o*", "@DIR@/main." + x + ":4:*: error: *"},
       {"@DIR@/main." + x}},
      {Break::kMissingHeader,
       {"FAILED: CMakeFiles/util.dir/util." + x + ".o*",
        "@DIR@/util." + x + ":1:*: fatal error: *"},
       {"@DIR@/util." + x}},
      {Break::kUndefined,
       {"FAILED: prog*", "main." + x + ":(.text+0x*): undefined reference to `thrice*'",
        linkFailed(cc)},
       {}},
      {Break::kCustomCommand, {"FAILED: version.h @DIR@/build/version.h*"}, {}},
      // With -k 0 both compiles run, in either order.
      {Break::kTwo,
       {"FAILED: CMakeFiles/*." + x + ".o*", "@DIR@/*." + x + ":*: *error: *",
        "FAILED: CMakeFiles/*." + x + ".o*", "@DIR@/*." + x + ":*: *error: *"},
       {"@DIR@/main." + x, "@DIR@/util." + x}},
      {Break::kCMake, {"CMake Error at CMakeLists.txt:3 (find_package):"}, {"CMakeLists.txt"}},
  };
}

std::vector<Step> makefilesSteps(const std::string& cc) {
  std::string x = cplusplus(cc) ? "cpp" : "c";
  return {
      {Break::kNone, {}, {}},
      {Break::kSyntax,
       {"@DIR@/main." + x + ":4:*: error: *",
        "*make[2]: *** [CMakeFiles/prog.dir/build.make:*: CMakeFiles/prog.dir/main." + x +
            ".o] Error 1",
        "*make[1]: *** [CMakeFiles/Makefile2:*: CMakeFiles/prog.dir/all] Error 2",
        "*make: *** [Makefile:*: all] Error 2"},
       {"@DIR@/main." + x}},
      {Break::kMissingHeader,
       {"@DIR@/util." + x + ":1:*: fatal error: *",
        "*make[2]: *** [CMakeFiles/util.dir/build.make:*: CMakeFiles/util.dir/util." + x +
            ".o] Error 1",
        "*make[1]: *** [CMakeFiles/Makefile2:*: CMakeFiles/util.dir/all] Error 2",
        "*make: *** [Makefile:*: all] Error 2"},
       {"@DIR@/util." + x}},
      {Break::kUndefined,
       {"main." + x + ":(.text+0x*): undefined reference to `thrice*'", linkFailed(cc),
        "*make[2]: *** [CMakeFiles/prog.dir/build.make:*: prog] Error 1",
        "*make[1]: *** [CMakeFiles/Makefile2:*: CMakeFiles/prog.dir/all] Error 2",
        "*make: *** [Makefile:*: all] Error 2"},
       {}},
      {Break::kCustomCommand,
       {"*make[2]: *** [CMakeFiles/version.dir/build.make:*: version.h] Error 3",
        "*make[1]: *** [CMakeFiles/Makefile2:*: CMakeFiles/version.dir/all] Error 2",
        "*make: *** [Makefile:*: all] Error 2"},
       {}},
      {Break::kCMake, {"CMake Error at CMakeLists.txt:3 (find_package):"}, {"CMakeLists.txt"}},
  };
}

TEST_F(ToolchainTest, CmakeNinjaWithGcc) { check("cmake", "Ninja", "gcc", ninjaSteps("gcc")); }
TEST_F(ToolchainTest, CmakeNinjaWithClangxx) {
  check("cmake", "Ninja", "clang++", ninjaSteps("clang++"));
}
TEST_F(ToolchainTest, CmakeMakefilesWithClang) {
  check("cmake", "Unix Makefiles", "clang", makefilesSteps("clang"));
}
TEST_F(ToolchainTest, CmakeMakefilesWithGxx) {
  check("cmake", "Unix Makefiles", "g++", makefilesSteps("g++"));
}

}  // namespace
