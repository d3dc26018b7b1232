// Every rule of every pack, line by line: real lines of gcc, clang, GNU ld,
// make, autotools, CMake and Ninja output (and of MSBuild, cl and link in
// Microsoft's documented formats), each with the class its pack must give it.
#include <string>
#include <vector>

#include "rulepack_support.h"

namespace {

struct LineCase {
  std::string line;
  std::string expected;
};

class PackLinesTest : public RulePackTest {
 protected:
  void expectClasses(const std::string& pack, const std::vector<LineCase>& cases) {
    for (const LineCase& c : cases) {
      writeFile("one.log", c.line + "\n");
      PackRun run = analyse(pack, "one.log");
      EXPECT_EQ(classOf(run), c.expected) << pack << ": " << c.line << "\n" << run.out;
    }
  }
};

// Shared by gnu.xml and cmake.xml: diagnostics of gcc, clang and GNU ld, and
// make's errors.
const std::vector<LineCase> kCompilerAndMakeLines = {
    // compiler errors at a place in a file
    {"main.c:5:27: error: expected ‘;’ before ‘return’", "failure"},
    {"main.c:5:27: error: expected ';' after expression", "failure"},
    {"/src/util.c:2:10: fatal error: missing.h: No such file or directory", "failure"},
    {"util.c:2:10: fatal error: 'missing.h' file not found", "failure"},
    {"main.c:4:7: error: unused variable ‘unused’ [-Werror=unused-variable]", "failure"},
    {"main.c:4: error: expected expression", "failure"},
    {"x.c:9:1: internal compiler error: Segmentation fault", "failure"},
    {"x.cc:3:5: sorry, unimplemented: non-trivial designated initializers not supported",
     "failure"},
    // errors of a tool
    {"cc1: fatal error: nosuch.c: No such file or directory", "failure"},
    {"gcc: error: nosuch.c: No such file or directory", "failure"},
    {"gcc: fatal error: no input files", "failure"},
    {"clang: error: no such file or directory: 'nosuch.c'", "failure"},
    {"clang: error: linker command failed with exit code 1 (use -v to see invocation)", "failure"},
    {"collect2: error: ld returned 1 exit status", "failure"},
    {"ld.lld: error: undefined symbol: main", "failure"},
    // GNU ld and gold
    {"/src/main.c:3: undefined reference to `thrice'", "failure"},
    {"main.c:(.text+0x22): undefined reference to `thrice'", "failure"},
    {"<stdin>:(.text+0x5): undefined reference to `f()'", "failure"},
    {"(.text+0x17): undefined reference to `main'", "failure"},
    {"/usr/bin/ld: main.c:(.text+0x22): undefined reference to `thrice'", "failure"},
    {"/src/b.c:1: multiple definition of `twice'; /tmp/a.o:/src/a.c:1: first defined here",
     "failure"},
    {"/usr/bin/ld: cannot find -lnosuchlib: No such file or directory", "failure"},
    {"/usr/bin/ld: cannot open output file /nonexist/p: No such file or directory", "failure"},
    {"/usr/bin/ld: final link failed: No space left on device", "failure"},
    {"/usr/bin/ld:bad.o:0: syntax error", "failure"},
    {"/usr/bin/ld: m.o: undefined reference to symbol 'sin@@GLIBC_2.2.5'", "failure"},
    {"/usr/bin/ld: /lib/x86_64-linux-gnu/libm.so.6: error adding symbols: DSO missing from "
     "command line",
     "failure"},
    {"/usr/bin/ld: m.o: relocation R_X86_64_32 against `.rodata' can not be used when making "
     "a PIE object; recompile with -fPIE",
     "failure"},
    {"/usr/lib/x86_64-linux-gnu/Scrt1.o:function _start: error: undefined reference to 'main'",
     "failure"},
    {"/usr/bin/ld: main.o: in function `main':", "unmatched"},
    {"/usr/bin/ld: warning: cannot find entry symbol _start; defaulting to 0000000000401000",
     "unmatched"},
    {"/usr/bin/ld: warning: x.o: missing .note.GNU-stack section implies executable stack",
     "unmatched"},
    {">>> referenced by /usr/lib/x86_64-linux-gnu/Scrt1.o:(_start)", "unmatched"},
    // make
    {"make: *** [<builtin>: main.o] Error 1", "failure"},
    {"make: *** [Makefile:2: prog] Error 1", "failure"},
    {"make[2]: *** [Makefile:1450: lib/xmalloc.o] Error 1", "failure"},
    {"gmake[1]: *** [CMakeFiles/Makefile2:89: CMakeFiles/util.dir/all] Error 2", "failure"},
    {"make: *** No rule to make target 'x.c', needed by 'x.o'.  Stop.", "failure"},
    {"Makefile:3: *** missing separator.  Stop.", "failure"},
    {"make[1]: *** Waiting for unfinished jobs....", "ignore"},
    {"gmake[2]: Entering directory '/src/build'", "ignore"},
    {"make[1]: Leaving directory '/src'", "ignore"},
    {"make: Target 'prog' not remade because of errors.", "summary"},
    {"gmake[1]: Target 'all' not remade because of errors.", "summary"},
    {"make: Nothing to be done for 'all'.", "success"},
    // warnings, notes and the text around diagnostics stay for a person
    {"main.c:4:7: warning: unused variable ‘unused’ [-Wunused-variable]", "unmatched"},
    {"main.cpp:1:1: note: ‘std::string’ is defined in header ‘<string>’", "unmatched"},
    {"main.c: In function ‘main’:", "unmatched"},
    {"In file included from main.c:1:", "unmatched"},
    {"    5 |   printf(\"%d\\n\", twice(2))", "unmatched"},
    {"      |                           ^", "unmatched"},
    {"compilation terminated.", "unmatched"},
    {"1 error generated.", "unmatched"},
    {"2 warnings and 1 error generated.", "unmatched"},
    {"cc1: all warnings being treated as errors", "unmatched"},
    {"clang: warning: argument unused during compilation: '-pthread'", "unmatched"},
    {"ar: `u' modifier ignored since `D' is the default (see `U')", "unmatched"},
    {"make: warning:  Clock skew detected.  Your build may be incomplete.", "unmatched"},
    {"/bin/sh: 1: gen-tool: not found", "unmatched"},
    // the assembler, and compilers that crashed
    {"/tmp/ccAb12.s:6: Error: no such instruction: `movq %rax,%rbx,%rcx'", "failure"},
    {"{standard input}:12: Error: junk at end of line, first unrecognized character is `,'",
     "failure"},
    {"/tmp/ccAb12.s: Assembler messages:", "unmatched"},
    {"gcc: internal compiler error: Killed signal terminated program cc1", "failure"},
    {"during RTL pass: expand", "unmatched"},
    {"PLEASE submit a bug report to https://github.com/llvm/llvm-project/issues/ and include the "
     "crash backtrace, preprocessed source, and associated run script.",
     "failure"},
    {"clang: error: clang frontend command failed with exit code 139 (use -v to see invocation)",
     "failure"},
    {"clang-14: error: clang frontend command failed due to signal (use -v to see invocation)",
     "failure"},
    {"Stack dump:", "unmatched"},
    // coloured diagnostics, as -fdiagnostics-color=always writes them
    {"\x1b[01m\x1b[Kmain.c:1:19:\x1b[m\x1b[K \x1b[01;31m\x1b[Kerror: \x1b[m\x1b[K‘x’ undeclared",
     "failure"},
    {"\x1b[1mmain.c:1:19: \x1b[0m\x1b[0;1;31merror: \x1b[0m\x1b[1muse of undeclared identifier "
     "'x'\x1b[0m",
     "failure"},
    {"\x1b[01m\x1b[Kcc1:\x1b[m\x1b[K \x1b[01;31m\x1b[Kfatal error: \x1b[m\x1b[Knosuch.c: No such "
     "file or directory",
     "failure"},
    {"\x1b[01m\x1b[Kmain.c:4:7:\x1b[m\x1b[K \x1b[01;35m\x1b[Kwarning: \x1b[m\x1b[Kunused "
     "variable",
     "unmatched"},
    {"\x1b]8;;file:///src/main.c\x1b\\main.c\x1b]8;;\x1b\\:3:1: error: expected expression",
     "failure"},
};

TEST_F(PackLinesTest, GnuCompilerAndMake) { expectClasses("gnu", kCompilerAndMakeLines); }

TEST_F(PackLinesTest, CmakeCompilerAndMake) { expectClasses("cmake", kCompilerAndMakeLines); }

const std::vector<LineCase> kGnuStepsLines = {
    // steps that ran: compiler, linker and archiver echoes
    {"cc -Wall -g   -c -o main.o main.c", "success"},
    {"gcc  -g -O2   -o hello src/hello.o  ./lib/libhello.a ", "success"},
    {"gcc -DHAVE_CONFIG_H -I. -g -O2 -MT lib/x.o -MD -MP -MF $depbase.Tpo -c -o lib/x.o "
     "lib/x.c &&\\",
     "success"},
    {"g++ -std=c++17 -c -o a.o a.cpp", "success"},
    {"clang    -c -o main.o main.c", "success"},
    {"clang++ -o app a.o b.o", "success"},
    {"/usr/bin/x86_64-linux-gnu-gcc-12 -c x.c", "success"},
    {"ccache gcc -c x.c", "success"},
    {"gcc-12 -c x.c", "success"},
    {"ar cru lib/libhello.a lib/c-ctype.o lib/c-strcasecmp.o ", "success"},
    {"ranlib lib/libhello.a", "success"},
    {"/bin/bash ../libtool  --tag=CC   --mode=compile gcc -c -o x.lo x.c", "success"},
    {"/bin/bash ./lib/config.charset 'x86_64-unknown-linux-gnu' > lib/charset.alias-t && \\",
     "success"},
    {"  CC       src/hello.o", "success"},
    {"  CCLD     hello", "success"},
    {"  GEN      lib/configmake.h", "success"},
    {"checking for gcc... gcc", "success"},
    {"checking whether the C compiler works... yes", "success"},
    {"[ 14%] Building C object CMakeFiles/util.dir/util.c.o", "success"},
    {"[100%] Built target prog", "success"},
    {"make: 'prog' is up to date.", "success"},
    // chatter around the steps
    {"make  all-recursive", "ignore"},
    {"/usr/bin/make  all-am", "ignore"},
    {"Making all in po", "ignore"},
    {"rm -f lib/configmake.h-t && \\", "ignore"},
    {"mv -f lib/configmake.h-t lib/configmake.h", "ignore"},
    {"/usr/bin/mkdir -p lib/sys", "ignore"},
    {"sed -n -e '/GL_ARG_NONNULL/,$p' \\", "ignore"},
    {"depbase=`echo lib/c-ctype.o | sed 's|[^/]*$|.deps/&|;s|\\.o$||'`;\\", "ignore"},
    {"{ echo '/* DO NOT EDIT! GENERATED AUTOMATICALLY! */'; \\", "ignore"},
    {"} > lib/sys/types.h-t && \\", "ignore"},
    {"      -e 's|@''GUARD_PREFIX''@|GL|g' \\", "ignore"},
    {"  echo '#define PREFIX \"/usr/local\"'; \\", "ignore"},
    {"libtool: compile:  gcc -c x.c  -fPIC -DPIC -o .libs/x.o", "ignore"},
    {"config.status: creating Makefile", "ignore"},
    {"config.status: executing depfiles commands", "ignore"},
    {"configure: creating ./config.status", "ignore"},
    {"Consolidate compiler generated dependencies of target prog", "ignore"},
    {"Scanning dependencies of target prog", "ignore"},
    // configure's errors
    {"configure: error: C compiler cannot create executables", "failure"},
    {"configure: error: in `/src/hello':", "failure"},
    {"See `config.log' for more details", "summary"},
    {"See 'config.log' for more details", "summary"},
    {"configure: WARNING: unrecognized options: --disable-foo", "unmatched"},
};

TEST_F(PackLinesTest, GnuSteps) { expectClasses("gnu", kGnuStepsLines); }

const std::vector<LineCase> kCmakeConfigureAndStepsLines = {
    // configure
    {"-- The C compiler identification is GNU 12.2.0", "ignore"},
    {"-- Detecting C compiler ABI info - done", "ignore"},
    {"-- Check for working C compiler: /usr/bin/cc - skipped", "ignore"},
    {"-- Looking for pthread.h - found", "ignore"},
    {"-- Checking for module 'sndfile'", "ignore"},
    {"--   Found sndfile, version 1.2.0", "ignore"},
    // printed for a person: an optional module may be missing in a build
    // that passes; a required one adds a CMake Error
    {"--   Package 'sndfile', required by 'virtual:world', not found", "unmatched"},
    {"--   No package 'sndfile' found", "unmatched"},
    {"-- Performing Test HAS_FLAG - Success", "ignore"},
    {"-- Found Threads: TRUE", "ignore"},
    {"-- Configuring done", "ignore"},
    {"-- Generating done", "ignore"},
    {"-- Build files have been written to: /src/build", "success"},
    {"-- Configuring incomplete, errors occurred!", "summary"},
    {"CMake Error at CMakeLists.txt:3 (find_package):", "failure"},
    {"CMake Error at CMakeLists.txt:6:", "failure"},
    {"CMake Error in CMakeLists.txt:", "failure"},
    {"CMake Error: The source directory \"/nonexist\" does not exist.", "failure"},
    {"CMake Error: Could not create named generator Bogus", "failure"},
    {"CMake Generate step failed.  Build files cannot be regenerated correctly.", "summary"},
    {"Error: /nonexist is not a directory", "failure"},
    {"CMake Warning at CMakeLists.txt:3 (message):", "unmatched"},
    {"CMake Deprecation Warning at CMakeLists.txt:1 (cmake_minimum_required):", "unmatched"},
    {"  Could not find a package configuration file provided by \"NoSuchThing\" with", "unmatched"},
    {"See also \"/src/build/CMakeFiles/CMakeOutput.log\".", "unmatched"},
    // Ninja
    {"[1/7] Building C object CMakeFiles/prog.dir/main.c.o", "success"},
    {"[7/7] Linking C executable prog", "success"},
    {"[2/7] Generating gen.h", "success"},
    {"ninja: no work to do.", "success"},
    {"FAILED: CMakeFiles/prog.dir/main.c.o ", "failure"},
    {"FAILED: gen.h /src/build/gen.h ", "failure"},
    {"ninja: build stopped: subcommand failed.", "summary"},
    {"ninja: build stopped: cannot make progress due to previous errors.", "summary"},
    {"ninja: error: loading 'build.ninja': No such file or directory", "failure"},
    {"ninja: Entering directory `build'", "ignore"},
    // a compiler's command line is a step, as in gnu.xml, so that all.xml
    // still finds the steps of a plain make
    {"/usr/bin/cc    -MD -MT CMakeFiles/prog.dir/main.c.o -MF CMakeFiles/prog.dir/main.c.o.d "
     "-o CMakeFiles/prog.dir/main.c.o -c /src/main.c",
     "success"},
    {"/usr/bin/c++ -O2 CMakeFiles/cxx.dir/main.cpp.o -o cxx", "success"},
    {"cd /src/build && false", "ignore"},
    {"/usr/bin/cmake -E cmake_link_script CMakeFiles/prog.dir/link.txt --verbose=1", "ignore"},
    // Makefiles generator
    {"[ 14%] Building C object CMakeFiles/util.dir/util.c.o", "success"},
    {"[ 57%] Linking C static library libutil.a", "success"},
    {"[100%] Built target prog", "success"},
    {"Consolidate compiler generated dependencies of target prog", "ignore"},
    {"gmake: Target 'default_target' not remade because of errors.", "summary"},
};

TEST_F(PackLinesTest, CmakeConfigureAndSteps) {
  expectClasses("cmake", kCmakeConfigureAndStepsLines);
}

const std::vector<LineCase> kMsbuildLines = {
    // errors in the canonical format, at a place in a file or of a tool
    {"C:\\src\\main.cpp(5,3): error C2065: 'x': undeclared identifier "
     "[C:\\src\\app.vcxproj]",
     "failure"},
    {"C:\\src\\main.cpp(12): error C2143: syntax error: missing ';' before '}' "
     "[C:\\src\\app.vcxproj]",
     "failure"},
    {"C:\\dir1\\strings.resx(2) : error BC30188: Declaration expected.", "failure"},
    {"C:\\src\\util.cpp(1,10): fatal error C1083: Cannot open include file: 'missing.h': No "
     "such file or directory [C:\\src\\app.vcxproj]",
     "failure"},
    {"C:\\Program Files\\Microsoft Visual "
     "Studio\\2022\\MSBuild\\Microsoft\\VC\\v170\\Microsoft.CppCommon.targets(156,5): error "
     "MSB3073: The command \"gen.bat\" exited with code 1. [C:\\src\\app.vcxproj]",
     "failure"},
    {"main.cpp(3,1-5): error C2059: syntax error: '}'", "failure"},
    {"main.cpp(3,1,3,9): error C2059: syntax error: '}'", "failure"},
    {"main.obj : error LNK2019: unresolved external symbol \"void __cdecl f(void)\" "
     "(?f@@YAXXZ) referenced in function main [C:\\src\\app.vcxproj]",
     "failure"},
    {"C:\\src\\x64\\Release\\app.exe : fatal error LNK1120: 1 unresolved externals "
     "[C:\\src\\app.vcxproj]",
     "failure"},
    {"LINK : fatal error LNK1104: cannot open file 'zlib.lib' [C:\\src\\app.vcxproj]", "failure"},
    {"c1xx : fatal error C1083: Cannot open source file: 'gone.cpp': No such file or "
     "directory",
     "failure"},
    {"cl : command line error D8003: missing source filename", "failure"},
    {"cl : Command line error D8021 : invalid numeric argument '/Wfoo'", "failure"},
    {"MSBUILD : error MSB1009: Project file does not exist.", "failure"},
    {"error CS0006: Metadata file 'System.dll' could not be found.", "failure"},
    {"C:\\src\\main.cpp(5,3): ERROR C2065: 'x': undeclared identifier", "failure"},
    {"  1>C:\\src\\main.cpp(5,3): error C2065: 'x': undeclared identifier "
     "[C:\\src\\app.vcxproj]",
     "failure"},
    {"     2>LINK : fatal error LNK1104: cannot open file 'zlib.lib' [C:\\src\\app.vcxproj]",
     "failure"},
    // warnings stay for a person
    {"Main.cs(17,20): warning CS0168: The variable 'x' is declared but never used", "unmatched"},
    {"C:\\src\\main.cpp(4,9): warning C4101: 'u': unreferenced local variable "
     "[C:\\src\\app.vcxproj]",
     "unmatched"},
    {"cl : Command line warning D4024 : unrecognized source file type 'file1.cs'", "unmatched"},
    {"LINK : warning LNK4098: defaultlib 'LIBCMT' conflicts with use of other libs", "unmatched"},
    // steps and verdicts
    {"  main.cpp", "success"},
    {"  1>util.c", "success"},
    {"  app.vcxproj -> C:\\src\\x64\\Release\\app.exe", "success"},
    {"Build succeeded.", "success"},
    {"Build FAILED.", "summary"},
    // framing, echoes and the recap after the verdict
    {"Microsoft (R) Build Engine version 16.11.2+f32259642 for .NET Framework", "ignore"},
    {"MSBuild version 17.8.3+195e7f5a3 for .NET", "ignore"},
    {"Copyright (C) Microsoft Corporation. All rights reserved.", "ignore"},
    {"Build started 12/7/2026 9:14:03 AM.", "ignore"},
    {"Project \"C:\\src\\app.sln\" on node 1 (default targets).", "ignore"},
    {"Project \"C:\\src\\app.sln\" (1) is building \"C:\\src\\app.vcxproj\" (2) on node 1 "
     "(default targets).",
     "ignore"},
    {"Done Building Project \"C:\\src\\app.vcxproj\" (default targets) -- FAILED.", "ignore"},
    {"ClCompile:", "ignore"},
    {"  1>Link:", "ignore"},
    {"  C:\\Program Files\\Microsoft Visual "
     "Studio\\2022\\VC\\Tools\\MSVC\\14.38.33130\\bin\\HostX64\\x64\\CL.exe /c /Zi /W3 "
     "main.cpp",
     "ignore"},
    {"\"C:\\src\\app.sln\" (default target) (1) ->", "ignore"},
    {"(ClCompile target) ->", "ignore"},
    {"  C:\\src\\main.cpp(5,3): error C2065: 'x': undeclared identifier "
     "[C:\\src\\app.vcxproj]",
     "ignore"},
    {"  C:\\src\\main.cpp(4,9): warning C4101: 'u': unreferenced local variable "
     "[C:\\src\\app.vcxproj]",
     "ignore"},
    {"    0 Warning(s)", "ignore"},
    {"    1 Error(s)", "ignore"},
    {"Time Elapsed 00:00:01.23", "ignore"},
    {"  Creating directory \"x64\\Release\\\".", "ignore"},
    {"  Touching \"x64\\Release\\app.tlog\\app.lastbuildstate\".", "ignore"},
    {"  Deleting file \"x64\\Release\\app.tlog\\unsuccessfulbuild\".", "ignore"},
    {"  3>All outputs are up-to-date.", "ignore"},
    // errors without a code, or with an origin holding "("
    {"C:\\Program Files\\dotnet\\sdk\\8.0.100\\NuGet.targets(156,5): error : Unable to load "
     "the service index for source https://api.nuget.org/v3/index.json. [C:\\src\\app.sln]",
     "failure"},
    {"C:\\src\\app.csproj : error : The project file could not be loaded.", "failure"},
    {"EXEC : error : gen-version failed [C:\\src\\gen.vcxproj]", "failure"},
    {"C:\\src\\a.cpp(5,3): error: use of undeclared identifier 'x' [C:\\src\\app.vcxproj]",
     "failure"},
    {"  2>C:\\src\\a.cpp(5,3): error: use of undeclared identifier 'x'", "failure"},
    {"mt.exe : general error c101008d: Failed to write the updated manifest to the resource of "
     "file \"app.exe\". [C:\\src\\app.vcxproj]",
     "failure"},
    {"C:\\Program Files (x86)\\Windows Kits\\10\\bin\\x64\\mt.exe : general error "
     "c101008d: Failed to write the updated manifest",
     "failure"},
    {"C:\\Program Files (x86)\\Microsoft Visual "
     "Studio\\2019\\MSBuild\\Microsoft\\VC\\v160\\Microsoft.CppCommon.targets(241,5): error "
     "MSB8066: Custom build exited with code 1.",
     "failure"},
    // a dependency chain in an error is no step that ran
    {"C:\\src\\app.csproj : error NU1605: Detected package downgrade: System.Runtime from "
     "4.3.0 to 4.1.0. app -> B 1.0.0 -> System.Runtime (>= 4.3.0) app -> System.Runtime (>= "
     "4.1.0)",
     "failure"},
    {"C:\\src\\app.csproj : error NU1107: Version conflict detected for X. app -> A 1.0.0 -> "
     "X (>= 2.0.0) app -> B 1.0.0 -> X (= 1.0.0).",
     "failure"},
    {"  app -> C:\\src\\bin\\Debug\\net8.0\\app.dll", "success"},
    {"  app -> /src/bin/Debug/net8.0/app.dll", "success"},
    {"  1>My App.vcxproj -> C:\\src\\x64\\Release\\My App.exe", "success"},
    {"   app -> B 1.0.0 -> System.Runtime (>= 4.3.0)", "unmatched"},
    // clang-cl's command line, echoed at normal verbosity
    {"  C:\\Program Files\\LLVM\\bin\\clang-cl.exe /c /Zi /W3 /nologo main.cpp", "ignore"},
    {"  C:\\Program Files\\LLVM\\bin\\lld-link.exe /OUT:app.exe main.obj", "ignore"},
    // the recap's copies of errors without a code
    {"  C:\\src\\app.csproj : error : The project file could not be loaded.", "ignore"},
};

TEST_F(PackLinesTest, Msbuild) { expectClasses("msbuild", kMsbuildLines); }

// The test runners, in every pack that includes them: ctest, meson test,
// automake's harness and TAP, googletest, Catch2 and doctest.
const std::vector<LineCase> kTestRunnerLines = {
    // ctest
    {"Test project /src/build", "ignore"},
    {"    Start 1: parser_test", "ignore"},
    {"      Start 12: lexer_test", "ignore"},
    {"1/5 Test #1: parser_test ......................***Failed    0.01 sec", "failure"},
    {" 3/12 Test  #3: crash_test .......................***Exception: SegFault  0.00 sec",
     "failure"},
    {"3/5 Test #4: missing_test .....................***Not Run   0.00 sec", "failure"},
    {"5/5 Test #5: slow_test ........................***Timeout   1.01 sec", "failure"},
    {"2/5 Test #2: lexer_test .......................   Passed    0.01 sec", "success"},
    {"3/4 Test #3: skip_test ........................***Skipped   0.01 sec", "unmatched"},
    {"4/4 Test #4: off_test .........................***Not Run (Disabled)   0.00 sec",
     "unmatched"},
    {"100% tests passed, 0 tests failed out of 12", "success"},
    {"80% tests passed, 1 tests failed out of 5", "summary"},
    {"The following tests FAILED:", "failure"},
    {"\t  1 - parser_test (Failed)", "failure"},
    {"\t  3 - crash_test (SEGFAULT)", "failure"},
    {"\t  4 - missing_test (Not Run)", "failure"},
    {"\t 12 - slow_test (Timeout)", "failure"},
    {"The following tests did not run:", "unmatched"},
    {"\t  3 - skip_test (Skipped)", "unmatched"},
    {"\t  4 - off_test (Disabled)", "unmatched"},
    {"Errors while running CTest", "failure"},
    {"Total Test time (real) =   1.02 sec", "ignore"},
    {"Output from these tests are in: /src/build/Testing/Temporary/LastTest.log", "ignore"},
    // meson test
    {"1/6 parser  FAIL            0.01s   exit status 1", "failure"},
    {" 2/8 t:parser                 FAIL            0.19s   exit status 1", "failure"},
    {"5/6 xpasser UNEXPECTEDPASS  0.02s", "failure"},
    {"3/6 slow    TIMEOUT        30.01s   killed by signal 15 SIGTERM", "failure"},
    {"6/6 tapper  FAIL            0.02s   1/2 subtests passed", "failure"},
    {"2/6 lexer   OK              0.01s", "success"},
    {"3/6 skipper SKIP            0.02s   exit status 77", "success"},
    {"4/6 xfailer EXPECTEDFAIL    0.02s   exit status 1", "success"},
    {">>> MALLOC_PERTURB_=243 /src/build/bad", "ignore"},
    {"Ok:                 1   ", "success"},
    {"Fail:               2   ", "failure"},
    {"Unexpected Pass:    1   ", "failure"},
    {"Timeout:            1   ", "failure"},
    {"Fail:               0   ", "ignore"},
    {"Expected Fail:      1   ", "unmatched"},
    {"Full log written to /src/build/meson-logs/testlog.txt", "ignore"},
    // automake's parallel harness, and TAP
    {"FAIL: bad", "failure"},
    {"ERROR: hard.sh", "failure"},
    {"XPASS: ok", "failure"},
    {"FAIL: tap.t 2 - second", "failure"},
    {"PASS: tap.t 1 - first", "success"},
    {"XFAIL: xf.sh", "success"},
    {"SKIP: skip.sh", "success"},
    {"# TOTAL: 9", "ignore"},
    {"# PASS:  2", "ignore"},
    {"# FAIL:  2", "failure"},
    {"# ERROR: 1", "failure"},
    {"# XPASS: 1", "failure"},
    {"# FAIL:  0", "ignore"},
    {"fatal: making test-suite.log: failed to create run.tests.trs", "failure"},
    {"fatal: not a git repository (or any of the parent directories): .git", "unmatched"},
    {"============================================================================", "ignore"},
    {"Testsuite summary for GNU Hello 2.10", "ignore"},
    {"See tests/test-suite.log", "summary"},
    {"not ok 3 - parses", "failure"},
    {"not ok 4", "failure"},
    {"not ok 5 - later # TODO not written", "ignore"},
    {"ok 1 - reads", "success"},
    {"ok 2 # SKIP no network", "success"},
    {"1..5", "ignore"},
    {"Bail out! no database", "failure"},
    {"    not ok 1 - a subtest", "unmatched"},
    // googletest
    {"[==========] Running 3 tests from 2 test suites.", "ignore"},
    {"[----------] 2 tests from Parser", "ignore"},
    {"[ RUN      ] Parser.Reads", "ignore"},
    {"[       OK ] Parser.Reads (0 ms)", "success"},
    {"[  FAILED  ] Parser.Fails (0 ms)", "failure"},
    {"[  FAILED  ] 1 test, listed below:", "failure"},
    {"[  FAILED  ] Parser.Fails", "failure"},
    {" 1 FAILED TEST", "failure"},
    {" 2 FAILED TESTS", "failure"},
    {"[  PASSED  ] 1 test.", "success"},
    {"[  SKIPPED ] Lexer.Skips (0 ms)", "unmatched"},
    {"g.cpp:3: Failure", "unmatched"},
    // Catch2 and doctest
    {"test cases: 2 | 1 passed | 1 failed", "failure"},
    {"test cases: 1 | 1 failed", "failure"},
    {"assertions: 2 | 1 passed | 1 failed", "summary"},
    {"[doctest] assertions: 2 | 1 passed | 1 failed |", "summary"},
    {"All tests passed (1 assertion in 1 test case)", "success"},
    {"[doctest] test cases: 2 | 1 passed | 1 failed | 0 skipped", "failure"},
    {"[doctest] test cases: 1 | 1 passed | 0 failed | 1 skipped", "unmatched"},
    {"[doctest] Status: FAILURE!", "failure"},
    {"[doctest] Status: SUCCESS!", "success"},
    {"[doctest] doctest version is \"2.4.9\"", "ignore"},
    // a test's own output that quotes such lines decides nothing
    {"  expected 'FAIL: x' in the output", "unmatched"},
    {"parser: not ok", "unmatched"},
};

TEST_F(PackLinesTest, TestRunners) {
  for (const char* pack : {"tests", "gnu", "cmake", "meson"}) {
    SCOPED_TRACE(pack);
    expectClasses(pack, kTestRunnerLines);
  }
}

const std::vector<LineCase> kMesonLines = {
    // setup
    {"The Meson build system", "ignore"},
    {"Version: 1.0.1", "ignore"},
    {"Source dir: /src", "ignore"},
    {"Build type: native build", "ignore"},
    {"C compiler for the host machine: ccache cc (gcc 12.2.0 \"cc (Debian 12.2.0-14) 12.2.0\")",
     "ignore"},
    {"C linker for the host machine: cc ld.bfd 2.40", "ignore"},
    {"Host machine cpu family: x86_64", "ignore"},
    {"Program sh found: YES (/usr/bin/sh)", "ignore"},
    {"Run-time dependency zlib found: NO (tried pkgconfig and cmake)", "ignore"},
    {"Found pkg-config: /usr/bin/pkg-config (1.8.1)", "ignore"},
    {"Checking for function \"strndup\" : YES", "ignore"},
    {"Has header \"unistd.h\" : YES", "ignore"},
    {"Compiler for C supports arguments -Wno-unused: YES", "ignore"},
    {"Configuring config.h using configuration", "ignore"},
    {"Build targets in project: 4", "success"},
    {"Found ninja-1.11.1 at /usr/bin/ninja", "success"},
    {"meson.build:12:0: ERROR: Dependency \"zlib\" not found, tried pkgconfig and cmake",
     "failure"},
    {"src/meson.build:3:4: ERROR: File nosuch.c does not exist.", "failure"},
    {"ERROR: Neither directory contains a build file meson.build.", "failure"},
    {"A full log can be found at /src/build/meson-logs/meson-log.txt", "summary"},
    {"WARNING: Project specifies a minimum meson_version '>=0.40'", "unmatched"},
    {"DEPRECATION: \"pkgconfig\" is deprecated", "unmatched"},
    // compile
    {"INFO: autodetecting backend as ninja", "ignore"},
    {"ninja: Entering directory `/src/build'", "ignore"},
    {"[1/2] Compiling C object bad.p/bad.c.o", "success"},
    {"FAILED: bad.p/bad.c.o ", "failure"},
    {"ccache cc -Ibad.p -I. -I.. -fdiagnostics-color=always -o bad.p/bad.c.o -c ../bad.c",
     "success"},
    {"../bad.c:3:9: error: expected expression before ‘;’ token", "failure"},
    {"ninja: build stopped: subcommand failed.", "summary"},
    {"ninja: no work to do.", "success"},
};

TEST_F(PackLinesTest, Meson) { expectClasses("meson", kMesonLines); }

// all.xml judges every line as the pack meant for it does: no pack's
// ignore or success rule takes another pack's failure.
TEST_F(PackLinesTest, AllPacksCompose) {
  for (const auto* table : {&kCompilerAndMakeLines, &kGnuStepsLines, &kCmakeConfigureAndStepsLines,
                            &kMsbuildLines, &kTestRunnerLines, &kMesonLines}) {
    expectClasses("all", *table);
  }
}

// A log with no step and no closing line is not a build's log: each pack
// says so, and ends with status 1.
TEST_F(PackLinesTest, ALogWithoutStepsIsNotABuild) {
  struct NotABuild {
    std::string pack;
    std::string log;
    std::string out;
  };
  const std::vector<NotABuild> cases = {
      {"gnu", "main.c:4:7: warning: unused variable 'u'\n",
       "Processing one.log...\nmain.c:4:7: warning: unused variable 'u'\n" +
           summary(0, 0, 0, 0, 1)},
      {"cmake", "-- Detecting C compiler ABI info\n",
       "Processing one.log...\n" + summary(0, 0, 1, 0, 0)},
      {"msbuild", "MSBUILD : error MSB1009: Project file does not exist.\n",
       "Processing one.log...\nMSBUILD : error MSB1009: Project file does not exist.\n" +
           summary(0, 1, 0, 0, 0)},
  };
  for (const NotABuild& c : cases) {
    writeFile("one.log", c.log);
    RunResult result =
        run({"-cfg", std::string(TARNWICK_RULES_DIR) + "/" + c.pack + ".xml", "-log", "one.log"});
    EXPECT_EQ(result.status, 1) << c.pack;
    EXPECT_EQ(result.out, c.out + kNothing) << c.pack;
  }
}

}  // namespace
