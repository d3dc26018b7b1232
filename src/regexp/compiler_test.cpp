#include "regexp/compiler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "regexp/regexp_test_support.h"

namespace {

using CompilerTest = RecordingHookTest;

std::string hexBytes(const unsigned char* bytes, size_t size) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < size; i++) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02x" : " %02x", bytes[i]);
    out += buf;
  }
  return out;
}

std::string programHex(const Regexp& r) {
  return hexBytes(r.programBytes(), static_cast<size_t>(r.programSize));
}

// The first node of the only top-level alternative.
const unsigned char* firstNode(const Regexp& r) { return nodeOperand(r.programBytes() + 1); }

std::string operandText(const unsigned char* node) {
  return reinterpret_cast<const char*>(nodeOperand(node));
}

struct ProgramCase {
  const char* pattern;
  const char* bytes;
  char firstChar;
  char anchored;
  const char* mustText;  // null when the pattern has none
};

// Programs whose every byte is known: the node layout and link distances are
// what stored rule files' behaviour rests on.
const ProgramCase kPrograms[] = {
    {"^([EIW][0-9]+):",
     "9c 06 00 2c 01 00 03 15 00 03 06 00 1b 04 00 07 45 49 57 00 0b 00 11 04 00 00 30 31 32 33 "
     "34 35 36 37 38 39 00 1f 00 03 08 00 05 3a 00 00 00 00",
     0, 1, nullptr},
    {"a(b|c)*d",
     "9c 06 00 2f 08 00 05 61 00 06 00 1c 15 00 03 06 00 08 08 00 0d 62 00 06 00 08 08 00 05 63 "
     "00 1f 00 03 07 00 19 06 00 03 09 00 03 08 00 05 64 00 00 00 00",
     'a', 0, nullptr},
    {"x*abc", "9c 06 00 12 0a 00 08 08 00 00 78 00 08 00 07 61 62 63 00 00 00 00", 0, 0, "abc"},
    {"", "9c 06 00 06 09 00 03 00 00 00", 0, 0, nullptr},
    // + on a group: the group, then a choice between looping back and going on.
    {"(a)+",
     "9c 06 00 1d 15 00 03 06 00 08 08 00 05 61 00 1f 00 03 06 00 06 07 00 11 06 00 03 09 00 03 "
     "00 00 00",
     0, 0, nullptr},
    // ? wraps the atom in a choice whose both roads meet at one EMPTY.
    {"a?", "9c 06 00 11 06 00 08 08 00 08 61 00 06 00 03 09 00 03 00 00 00", 0, 0, nullptr},
    {"[^a-c]", "9c 06 00 0a 05 00 07 61 62 63 00 00 00 00", 0, 0, nullptr},
    {"ab*", "9c 06 00 10 08 00 05 61 00 0a 00 08 08 00 00 62 00 00 00 00", 'a', 0, nullptr},
};

TEST_F(CompilerTest, ProgramsComeOutByteForByte) {
  for (const ProgramCase& c : kPrograms) {
    SCOPED_TRACE(c.pattern);
    RegexpPtr r(compilePattern(c.pattern));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(programHex(*r), c.bytes);
    EXPECT_EQ(r->firstChar, c.firstChar);
    EXPECT_EQ(r->anchored, c.anchored);
    if (c.mustText == nullptr) {
      EXPECT_EQ(r->mustText, nullptr);
      EXPECT_EQ(r->mustLength, 0);
    } else {
      ASSERT_NE(r->mustText, nullptr);
      EXPECT_STREQ(r->mustText, c.mustText);
      EXPECT_EQ(r->mustLength, static_cast<int32_t>(std::string(c.mustText).size()));
    }
  }
  EXPECT_TRUE(reported.empty());
}

TEST_F(CompilerTest, MustTextLiesInsideTheProgram) {
  RegexpPtr r(compilePattern("x*abc"));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(r->mustText), r->programBytes() + 15);
}

struct HintCase {
  const char* pattern;
  char firstChar;
  char anchored;
  const char* mustText;
};

const HintCase kHints[] = {
    {"^abc", 0, 1, nullptr},
    {"abc|abd", 0, 0, nullptr},  // two alternatives: no hints at all
    {"^a|b", 0, 0, nullptr},
    {"x*ab.cd", 0, 0, "cd"},     // equal lengths: the later literal
    {".*abc.*de", 0, 0, "abc"},  // the longest literal
    {"x?yz", 0, 0, "yz"},
    {"a*", 0, 0, nullptr},      // a repeat's operand is not on the chain
    {"(x*ab)c", 0, 0, "c"},     // a group's first piece counts as the start
    {"(x*ab)", 0, 0, nullptr},  // literals inside the group are not on the chain
    {"(ab)*cd", 0, 0, "cd"},
    {"abc*", 'a', 0, nullptr},  // the run is ab, then c*: no variable start
    {"\\^x", '^', 0, nullptr},  // a quoted byte is a literal
    {"\xe9t\xe9", '\xe9', 0, nullptr},
    {"$", 0, 0, nullptr},
    {"(^a)", 0, 0, nullptr},  // only a ^ that is the first node anchors
};

TEST_F(CompilerTest, Hints) {
  for (const HintCase& c : kHints) {
    SCOPED_TRACE(c.pattern);
    RegexpPtr r(compilePattern(c.pattern));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->firstChar, c.firstChar);
    EXPECT_EQ(r->anchored, c.anchored);
    if (c.mustText == nullptr) {
      EXPECT_EQ(r->mustText, nullptr);
    } else {
      ASSERT_NE(r->mustText, nullptr);
      EXPECT_STREQ(r->mustText, c.mustText);
    }
  }
}

struct FirstNodeCase {
  const char* pattern;
  unsigned char opcode;
  std::string operand;  // the NUL-terminated text right after the header
};

// Sets and literal runs: what lands in the operand decides what matches.
const FirstNodeCase kFirstNodes[] = {
    {"[a-a]", IN_SET, "a"},
    {"[a-c-e]", IN_SET, "abcde"},  // ranges chain from the byte before the -
    {"[]a]", IN_SET, "]a"},
    {"[^-z]", NOT_IN_SET, "-z"},
    {"[a-]", IN_SET, "a-"},
    {"[-a]", IN_SET, "-a"},
    {"[^]a]", NOT_IN_SET, "]a"},
    {"[\\n]", IN_SET, "\\n"},  // no escapes inside a set
    {"[a^[]", IN_SET, "a^["},
    {"[aa]", IN_SET, "aa"},  // duplicates are kept
    {"[x-z0-2]", IN_SET, "xyz012"},
    {"[\xfd-\xff]", IN_SET, "\xfd\xfe\xff"},  // bytes ordered as unsigned
    {"a{2}", LITERAL, "a{2}"},
    {"a]b-c}", LITERAL, "a]b-c}"},
    {"\\d", LITERAL, "d"},
    {"\\\\", LITERAL, "\\"},
    {"\\.", LITERAL, "."},
    {".", ANY_CHAR, ""},
    {"^", LINE_START, ""},
    {"$", LINE_END, ""},
    {"abc+", LITERAL, "ab"},  // the repeat takes only the last byte of a run
};

TEST_F(CompilerTest, FirstNodeAndOperand) {
  for (const FirstNodeCase& c : kFirstNodes) {
    SCOPED_TRACE(c.pattern);
    RegexpPtr r(compilePattern(c.pattern));
    ASSERT_NE(r, nullptr);
    const unsigned char* node = firstNode(*r);
    EXPECT_EQ(nodeOpcode(node), c.opcode);
    if (!c.operand.empty()) {
      EXPECT_EQ(operandText(node), c.operand);
    }
  }
}

TEST_F(CompilerTest, RangeUpToTheLastByteHoldsEveryByte) {
  RegexpPtr r(compilePattern("[\x01-\xff]"));
  ASSERT_NE(r, nullptr);
  std::string members = operandText(firstNode(*r));
  ASSERT_EQ(members.size(), 255u);
  for (size_t i = 0; i < members.size(); i++) {
    EXPECT_EQ(static_cast<unsigned char>(members[i]), i + 1);
  }
}

TEST_F(CompilerTest, GroupsAreNumberedByOpeningParenthesis) {
  RegexpPtr r(compilePattern("((a)b)(c)"));
  ASSERT_NE(r, nullptr);
  std::vector<int> opens;
  // Nodes lie back to back, so the program can be read header by header.
  const unsigned char* p = r->programBytes() + 1;
  const unsigned char* end = r->programBytes() + r->programSize;
  while (p < end) {
    unsigned char op = nodeOpcode(p);
    if (op > kGroupOpen && op < kGroupOpen + kGroupSlots) opens.push_back(op - kGroupOpen);
    p += 3;
    if (op == LITERAL || op == IN_SET || op == NOT_IN_SET) p += operandText(p - 3).size() + 1;
  }
  EXPECT_EQ(opens, (std::vector<int>{1, 2, 3}));
}

struct ErrorCase {
  std::string pattern;
  const char* message;
};

const ErrorCase kErrors[] = {
    {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "too many ()"},
    {"((((((((((a))))))))))", "too many ()"},
    {"a**", "nested *?+"},
    {"a+?", "nested *?+"},
    {"a??", "nested *?+"},
    {"(ab)*+", "nested *?+"},
    {"*a", "?+* follows nothing"},
    {"a|*b", "?+* follows nothing"},
    {"(*a)", "?+* follows nothing"},
    {"+", "?+* follows nothing"},
    {"^*", "*+ operand could be empty"},
    {"()*", "*+ operand could be empty"},
    {"(a|)+", "*+ operand could be empty"},
    {"(a*)+", "*+ operand could be empty"},
    {"$+", "*+ operand could be empty"},
    {"(a?b?)*", "*+ operand could be empty"},
    {"[b-a]", "invalid [] range"},
    {"[a-c-b]", "invalid [] range"},
    {"[\xff-\x01]", "invalid [] range"},
    {"[", "unmatched []"},
    {"[]", "unmatched []"},
    {"[^]", "unmatched []"},
    {"[abc", "unmatched []"},
    {"[a-", "unmatched []"},
    {"(", "unmatched ()"},
    {"(a", "unmatched ()"},
    {"a)", "unmatched ()"},
    {")", "unmatched ()"},
    {"(a|b", "unmatched ()"},
    {"\\", "trailing \\"},
    {"ab\\", "trailing \\"},
    {"(a\\", "trailing \\"},
    {std::string(32756, 'a'), "regexp too big"},
    {std::string(10000, 'a') + "(" + std::string(30000, 'b') + ")*", "regexp too big"},
};

TEST_F(CompilerTest, BadPatternsFailWithTheirMessage) {
  for (const ErrorCase& c : kErrors) {
    SCOPED_TRACE(c.pattern.substr(0, 40));
    reported.clear();
    EXPECT_EQ(compilePattern(c.pattern.c_str()), nullptr);
    EXPECT_EQ(reported, std::vector<std::string>{c.message});
  }
}

TEST_F(CompilerTest, NullPatternFails) {
  EXPECT_EQ(compilePattern(nullptr), nullptr);
  EXPECT_EQ(reported, std::vector<std::string>{"NULL argument"});
}

TEST_F(CompilerTest, ErrorsWithoutHookAreSilentNulls) {
  errorHook = nullptr;
  EXPECT_EQ(compilePattern("a**"), nullptr);
  EXPECT_EQ(compilePattern(nullptr), nullptr);
}

TEST_F(CompilerTest, GoodPatternsCompile) {
  const char* const patterns[] = {
      "^?",     "()?",  "(a*b)+",  "(a)(b)(c)(d)(e)(f)(g)(h)(i)",
      "()",     "a|",   "|",       "(|a)",
      "a^b",    "[]-]", "(a|b)*c", "((a|b)+)?",
      "[*+?]*", "a\\*", "\\(",
  };
  for (const char* pattern : patterns) {
    SCOPED_TRACE(pattern);
    RegexpPtr r(compilePattern(pattern));
    EXPECT_NE(r, nullptr);
  }
  EXPECT_TRUE(reported.empty()) << reported.front();
}

TEST_F(CompilerTest, SizeLimitBoundary) {
  RegexpPtr r(compilePattern(std::string(32755, 'a').c_str()));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->programSize, 32766);
  EXPECT_EQ(nodeOpcode(r->programBytes() + 32763), MATCH_END);
}

// A long program must still link correctly across large distances: the
// top-level alternative's distance to the end exceeds one byte.
TEST_F(CompilerTest, LongAlternativesLinkToTheEnd) {
  std::string pattern = std::string(20000, 'a') + "|" + std::string(12000, 'b');
  RegexpPtr r(compilePattern(pattern.c_str()));
  ASSERT_NE(r, nullptr);
  const unsigned char* first = r->programBytes() + 1;
  const unsigned char* second = nextNode(first);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(nodeOpcode(second), ALTERNATIVE);
  EXPECT_EQ(second - first, 3 + 3 + 20000 + 1);
  const unsigned char* end = nextNode(second);
  ASSERT_NE(end, nullptr);
  EXPECT_EQ(nodeOpcode(end), MATCH_END);
  EXPECT_EQ(end - r->programBytes(), r->programSize - 3);
}

}  // namespace
