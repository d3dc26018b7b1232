// The msbuild pack on whole build logs. MSBuild, cl.exe and link.exe cannot
// run here, so these fixtures are written from Microsoft's documented
// message formats: the canonical "Origin : Subcategory Category Code : Text"
// of compiler, linker and MSBuild errors and warnings (with the origins and
// (line,col) forms the documentation lists, and the [project] suffix the
// console logger adds), and the console logger's framing and closing lines
// ("Build succeeded.", "Build FAILED.", "N Warning(s)", "N Error(s)", the
// recap of messages after the verdict). They are not captured output.
#include <string>
#include <vector>

#include "rulepack_support.h"

namespace {

struct MsbuildCase {
  std::string name;
  std::string log;
  std::string verdict;
  std::vector<std::string> failures;
  std::vector<std::string> listed;
};

const char kCleanNormal[] =
    "Microsoft (R) Build Engine version 16.11.2+f32259642 for .NET Framework\n"
    "Copyright (C) Microsoft Corporation. All rights reserved.\n"
    "\n"
    "Build started 12/7/2026 9:14:03 AM.\n"
    "Project \"C:\\src\\app.vcxproj\" on node 1 (default targets).\n"
    "ClCompile:\n"
    "  C:\\Program Files (x86)\\Microsoft Visual "
    "Studio\\2019\\Community\\VC\\Tools\\MSVC\\14.29.30133\\bin\\HostX64\\x64\\CL.exe /c /Zi "
    "/nologo /W3 /O2 /EHsc main.cpp util.cpp\n"
    "  main.cpp\n"
    "  util.cpp\n"
    "C:\\src\\main.cpp(4,9): warning C4101: 'u': unreferenced local variable "
    "[C:\\src\\app.vcxproj]\n"
    "Link:\n"
    "  C:\\Program Files (x86)\\Microsoft Visual "
    "Studio\\2019\\Community\\VC\\Tools\\MSVC\\14.29.30133\\bin\\HostX64\\x64\\link.exe "
    "/OUT:\"C:\\src\\x64\\Release\\app.exe\" /NOLOGO main.obj util.obj\n"
    "  app.vcxproj -> C:\\src\\x64\\Release\\app.exe\n"
    "Done Building Project \"C:\\src\\app.vcxproj\" (default targets).\n"
    "\n"
    "Build succeeded.\n"
    "\n"
    "\"C:\\src\\app.vcxproj\" (default target) (1) ->\n"
    "(ClCompile target) ->\n"
    "  C:\\src\\main.cpp(4,9): warning C4101: 'u': unreferenced local variable "
    "[C:\\src\\app.vcxproj]\n"
    "\n"
    "    1 Warning(s)\n"
    "    0 Error(s)\n"
    "\n"
    "Time Elapsed 00:00:02.15\n";

// Minimal verbosity without the closing summary (msbuild -v:m
// -clp:NoSummary): only the files compiled, the messages and the verdict.
const char kCompileErrorsMinimal[] =
    "MSBuild version 17.8.3+195e7f5a3 for .NET Framework\n"
    "  main.cpp\n"
    "C:\\src\\main.cpp(5,3): error C2065: 'x': undeclared identifier [C:\\src\\app.vcxproj]\n"
    "C:\\src\\main.cpp(7): error C2143: syntax error: missing ';' before '}' "
    "[C:\\src\\app.vcxproj]\n"
    "  util.cpp\n"
    "C:\\src\\util.cpp(1,10): fatal error C1083: Cannot open include file: 'missing.h': No such "
    "file or directory [C:\\src\\app.vcxproj]\n"
    "\n"
    "Build FAILED.\n";

const char kLinkErrorNormal[] =
    "Build started 12/7/2026 9:20:11 AM.\n"
    "Project \"C:\\src\\app.vcxproj\" on node 1 (default targets).\n"
    "ClCompile:\n"
    "  All outputs are up-to-date.\n"
    "Link:\n"
    "  C:\\Program Files (x86)\\Microsoft Visual "
    "Studio\\2019\\Community\\VC\\Tools\\MSVC\\14.29.30133\\bin\\HostX64\\x64\\link.exe "
    "/OUT:\"C:\\src\\x64\\Release\\app.exe\" /NOLOGO main.obj util.obj zlib.lib\n"
    "main.obj : error LNK2019: unresolved external symbol \"int __cdecl thrice(int)\" "
    "(?thrice@@YAHH@Z) referenced in function main [C:\\src\\app.vcxproj]\n"
    "C:\\src\\x64\\Release\\app.exe : fatal error LNK1120: 1 unresolved externals "
    "[C:\\src\\app.vcxproj]\n"
    "Done Building Project \"C:\\src\\app.vcxproj\" (default targets) -- FAILED.\n"
    "\n"
    "Build FAILED.\n"
    "\n"
    "\"C:\\src\\app.vcxproj\" (default target) (1) ->\n"
    "(Link target) ->\n"
    "  main.obj : error LNK2019: unresolved external symbol \"int __cdecl thrice(int)\" "
    "(?thrice@@YAHH@Z) referenced in function main [C:\\src\\app.vcxproj]\n"
    "  C:\\src\\x64\\Release\\app.exe : fatal error LNK1120: 1 unresolved externals "
    "[C:\\src\\app.vcxproj]\n"
    "\n"
    "    0 Warning(s)\n"
    "    2 Error(s)\n"
    "\n"
    "Time Elapsed 00:00:00.87\n";

// A solution built with -m: node prefixes; a custom build step fails, and a
// library is missing.
const char kParallelNodes[] =
    "Build started 12/7/2026 9:31:40 AM.\n"
    "     1>Project \"C:\\src\\app.sln\" on node 1 (default targets).\n"
    "     1>Project \"C:\\src\\app.sln\" (1) is building \"C:\\src\\gen\\gen.vcxproj\" (2) on "
    "node 2 (default targets).\n"
    "     2>CustomBuild:\n"
    "         gen-version: cannot read VERSION\n"
    "     2>C:\\Program Files\\Microsoft Visual "
    "Studio\\2022\\Community\\MSBuild\\Microsoft\\VC\\v170\\Microsoft.CppCommon.targets(247,5): "
    "error MSB8066: Custom build for 'C:\\src\\gen\\version.h.rule' exited with code 3. "
    "[C:\\src\\gen\\gen.vcxproj]\n"
    "     1>Project \"C:\\src\\app.sln\" (1) is building \"C:\\src\\app.vcxproj\" (3) on node 1 "
    "(default targets).\n"
    "     3>ClCompile:\n"
    "         main.cpp\n"
    "     3>Link:\n"
    "     3>LINK : fatal error LNK1104: cannot open file 'zlib.lib' [C:\\src\\app.vcxproj]\n"
    "     3>Done Building Project \"C:\\src\\app.vcxproj\" (default targets) -- FAILED.\n"
    "     1>Done Building Project \"C:\\src\\app.sln\" (default targets) -- FAILED.\n"
    "\n"
    "Build FAILED.\n"
    "\n"
    "\"C:\\src\\app.sln\" (default target) (1) ->\n"
    "\"C:\\src\\gen\\gen.vcxproj\" (default target) (2) ->\n"
    "(CustomBuild target) ->\n"
    "  C:\\Program Files\\Microsoft Visual "
    "Studio\\2022\\Community\\MSBuild\\Microsoft\\VC\\v170\\Microsoft.CppCommon.targets(247,5): "
    "error MSB8066: Custom build for 'C:\\src\\gen\\version.h.rule' exited with code 3. "
    "[C:\\src\\gen\\gen.vcxproj]\n"
    "\n"
    "\"C:\\src\\app.sln\" (default target) (1) ->\n"
    "\"C:\\src\\app.vcxproj\" (default target) (3) ->\n"
    "(Link target) ->\n"
    "  LINK : fatal error LNK1104: cannot open file 'zlib.lib' [C:\\src\\app.vcxproj]\n"
    "\n"
    "    0 Warning(s)\n"
    "    2 Error(s)\n"
    "\n"
    "Time Elapsed 00:00:03.40\n";

const std::vector<MsbuildCase> kCases = {
    {"clean, normal verbosity, a warning", kCleanNormal, "passed", {}, {}},
    {"compile errors, minimal verbosity",
     kCompileErrorsMinimal,
     "failed",
     {"C:\\src\\main.cpp(5,3): error C2065: 'x': undeclared identifier [C:\\src\\app.vcxproj]",
      "C:\\src\\main.cpp(7): error C2143: syntax error: missing ';' before '}' "
      "[C:\\src\\app.vcxproj]",
      "C:\\src\\util.cpp(1,10): fatal error C1083: Cannot open include file: 'missing.h': No such "
      "file or directory [C:\\src\\app.vcxproj]"},
     {"C:\\src\\main.cpp", "C:\\src\\main.cpp", "C:\\src\\util.cpp"}},
    {"unresolved symbol, normal verbosity",
     kLinkErrorNormal,
     "failed",
     {"main.obj : error LNK2019: unresolved external symbol \"int __cdecl thrice(int)\" "
      "(?thrice@@YAHH@Z) referenced in function main [C:\\src\\app.vcxproj]",
      "C:\\src\\x64\\Release\\app.exe : fatal error LNK1120: 1 unresolved externals "
      "[C:\\src\\app.vcxproj]"},
     {}},
    {"-m: custom build step and missing library",
     kParallelNodes,
     "failed",
     {"     2>C:\\Program Files\\Microsoft Visual "
      "Studio\\2022\\Community\\MSBuild\\Microsoft\\VC\\v170\\Microsoft.CppCommon.targets(247,5): "
      "error MSB8066: Custom build for 'C:\\src\\gen\\version.h.rule' exited with code 3. "
      "[C:\\src\\gen\\gen.vcxproj]",
      "     3>LINK : fatal error LNK1104: cannot open file 'zlib.lib' [C:\\src\\app.vcxproj]"},
     {"C:\\Program Files\\Microsoft Visual "
      "Studio\\2022\\Community\\MSBuild\\Microsoft\\VC\\v170\\Microsoft.CppCommon.targets"}},
};

class MsbuildTest : public RulePackTest {};

TEST_F(MsbuildTest, WholeLogs) {
  for (const MsbuildCase& c : kCases) {
    SCOPED_TRACE(c.name);
    // Windows line ends, as the console logger writes them in a file.
    std::string log;
    for (char ch : c.log) log += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    writeFile("build.log", log);
    writePackWithList("msbuild");
    // The list example names "$OUT\error-files.lst"; with OUT "." that is a
    // file of the test's folder on POSIX too.
    PackRun run = analyse("", "build.log", {"-DOUT=."}, "with-list.xml");
    // The pack sets maxfailures="0": a failed build fails the run.
    EXPECT_EQ(run.status, c.verdict == "failed" ? 1 : 0) << run.out;
    EXPECT_EQ(run.verdict(), c.verdict) << run.out;
    EXPECT_EQ(run.failures, c.failures) << run.out;
    std::string listed;
    for (const std::string& file : c.listed) listed += file + "\n";
    EXPECT_EQ(readFile(".\\error-files.lst"), listed);
  }
}

// Every line of a fixture has its class: nothing is left unmatched but the
// warnings and the custom command's own output.
TEST_F(MsbuildTest, OnlyWarningsAndToolOutputStayUnmatched) {
  writeFile("build.log", kParallelNodes);
  PackRun run = analyse("msbuild", "build.log");
  EXPECT_EQ(run.unmatched, 1) << run.out;
  EXPECT_NE(run.out.find("unmatched:          gen-version: cannot read VERSION\n"),
            std::string::npos)
      << run.out;
  writeFile("build.log", kCleanNormal);
  run = analyse("msbuild", "build.log");
  EXPECT_EQ(run.unmatched, 1) << run.out;
  EXPECT_EQ(run.success, 4) << run.out;
}

}  // namespace
