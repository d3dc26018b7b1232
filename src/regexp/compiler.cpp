// Pattern compiler.
//
// A recursive-descent parser (alternation, branch, piece, atom) runs twice
// over the pattern. The first pass only counts the bytes the program will
// need, so the Regexp can be allocated once at its exact size; the second
// pass writes and links the nodes. Repeats of one-byte atoms become a single
// REPEAT_STAR/REPEAT_PLUS node; repeats of anything longer become a loop of
// ALTERNATIVE and LOOP_BACK nodes, inserted in front of the atom just parsed.
// Finally the start-up hints (first byte, anchored, must-contain literal) are
// read off the finished program so the matcher can skip hopeless starts.
#include "regexp/compiler.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

// Parse flags of an atom, piece, branch or alternation.
constexpr int NON_EMPTY = 1;       // never matches the empty text
constexpr int SINGLE_CHAR = 2;     // exactly one byte, one single-character node
constexpr int VARIABLE_START = 4;  // first piece carries * or ?

constexpr int kMaxProgramSize = 0x7FFF;  // exclusive: distances must fit 15 bits
constexpr int kGroupLimit = 10;          // groups are numbered 1..9
const char kSpecialBytes[] = "^$.[()|?+*\\";

bool isRepeatOperator(unsigned char c) { return c == '*' || c == '+' || c == '?'; }

// The state of one compilation, shared by its two passes; each call of
// compilePattern has its own, so compilations never meet.
struct Compiler {
  // Stands in for emitPos during the sizing pass; nothing is written there.
  unsigned char sizingMarker = 0;

  const unsigned char* parsePos = nullptr;
  int nextGroup = 1;
  unsigned char* emitPos = nullptr;
  size_t programSize = 0;

  // Set by fail(); the parse functions then unwind returning null.
  bool failed = false;

  unsigned char* fail(const char* message) {
    reportRegexpError(message);
    failed = true;
    return nullptr;
  }

  bool sizing() { return emitPos == &sizingMarker; }

  unsigned char* emitNode(unsigned char opcode) {
    unsigned char* node = emitPos;
    if (sizing()) {
      programSize += 3;
      return node;
    }
    node[0] = opcode;
    node[1] = 0;
    node[2] = 0;
    emitPos += 3;
    return node;
  }

  void emitByte(unsigned char b) {
    if (sizing()) {
      programSize++;
      return;
    }
    *emitPos++ = b;
  }

  // Opens a header in front of the node at `at`, which becomes its operand.
  void insertNode(unsigned char opcode, unsigned char* at) {
    if (sizing()) {
      programSize += 3;
      return;
    }
    std::memmove(at + 3, at, static_cast<size_t>(emitPos - at));
    emitPos += 3;
    at[0] = opcode;
    at[1] = 0;
    at[2] = 0;
  }

  // Points the last node of the chain starting at p at target.
  void linkTail(unsigned char* p, unsigned char* target) {
    if (sizing()) return;
    unsigned char* last = p;
    for (unsigned char* n = nextNode(last); n != nullptr; n = nextNode(last)) last = n;
    std::ptrdiff_t distance = nodeOpcode(last) == LOOP_BACK ? last - target : target - last;
    last[1] = static_cast<unsigned char>((distance >> 8) & 0xFF);
    last[2] = static_cast<unsigned char>(distance & 0xFF);
  }

  // Links the end of an ALTERNATIVE's body to target.
  void linkOperandTail(unsigned char* p, unsigned char* target) {
    if (sizing() || nodeOpcode(p) != ALTERNATIVE) return;
    linkTail(nodeOperand(p), target);
  }

  // Set members are written in pattern order; a range x-y adds x+1..y after
  // the x that was already written as a member in its own right.
  unsigned char* parseSet() {
    unsigned char* node;
    if (*parsePos == '^') {
      parsePos++;
      node = emitNode(NOT_IN_SET);
    } else {
      node = emitNode(IN_SET);
    }
    if (*parsePos == ']' || *parsePos == '-') emitByte(*parsePos++);
    while (*parsePos != '\0' && *parsePos != ']') {
      if (*parsePos != '-') {
        emitByte(*parsePos++);
        continue;
      }
      parsePos++;
      if (*parsePos == ']' || *parsePos == '\0') {
        emitByte('-');
        continue;
      }
      unsigned from = parsePos[-2];
      unsigned to = *parsePos++;
      if (to < from) return fail("invalid [] range");
      for (unsigned b = from + 1; b <= to; b++) emitByte(static_cast<unsigned char>(b));
    }
    emitByte(0);
    if (*parsePos != ']') return fail("unmatched []");
    parsePos++;
    return node;
  }

  unsigned char* parseAtom(int* flags) {
    *flags = 0;
    unsigned char* node = nullptr;
    unsigned char c = *parsePos++;
    switch (c) {
      case '^':
        return emitNode(LINE_START);
      case '$':
        return emitNode(LINE_END);
      case '.':
        *flags = NON_EMPTY | SINGLE_CHAR;
        return emitNode(ANY_CHAR);
      case '[':
        *flags = NON_EMPTY | SINGLE_CHAR;
        return parseSet();
      case '(': {
        int groupFlags;
        node = parseAlternation(true, &groupFlags);
        *flags = groupFlags & (NON_EMPTY | VARIABLE_START);
        return node;
      }
      case '\0':
      case '|':
      case ')':
        return fail("internal urp");
      case '?':
      case '+':
      case '*':
        return fail("?+* follows nothing");
      case '\\':
        if (*parsePos == '\0') return fail("trailing \\");
        node = emitNode(LITERAL);
        emitByte(*parsePos++);
        emitByte(0);
        *flags = NON_EMPTY | SINGLE_CHAR;
        return node;
      default:
        break;
    }
    // A literal run up to the next special byte; a repeat after it applies to
    // its last byte alone, so that byte is left for a run of its own.
    parsePos--;
    size_t length = std::strcspn(reinterpret_cast<const char*>(parsePos), kSpecialBytes);
    if (length == 0) return fail("internal disaster");
    if (length > 1 && isRepeatOperator(parsePos[length])) length--;
    *flags = NON_EMPTY | (length == 1 ? SINGLE_CHAR : 0);
    node = emitNode(LITERAL);
    while (length-- > 0) emitByte(*parsePos++);
    emitByte(0);
    return node;
  }

  unsigned char* parsePiece(int* flags) {
    int atomFlags;
    unsigned char* atom = parseAtom(&atomFlags);
    if (atom == nullptr) return nullptr;
    unsigned char op = *parsePos;
    if (!isRepeatOperator(op)) {
      *flags = atomFlags;
      return atom;
    }
    if (!(atomFlags & NON_EMPTY) && op != '?') return fail("*+ operand could be empty");
    *flags = op == '+' ? NON_EMPTY : VARIABLE_START;

    bool single = (atomFlags & SINGLE_CHAR) != 0;
    if (op == '*' && single) {
      insertNode(REPEAT_STAR, atom);
    } else if (op == '+' && single) {
      insertNode(REPEAT_PLUS, atom);
    } else if (op == '*') {
      // Either the atom then back to the choice, or nothing.
      insertNode(ALTERNATIVE, atom);
      unsigned char* loop = emitNode(LOOP_BACK);
      linkOperandTail(atom, loop);
      linkOperandTail(atom, atom);
      linkTail(atom, emitNode(ALTERNATIVE));
      linkTail(atom, emitNode(EMPTY));
    } else if (op == '+') {
      // The atom, then either back to it or on.
      linkTail(atom, emitNode(ALTERNATIVE));
      unsigned char* loop = emitNode(LOOP_BACK);
      linkTail(loop, atom);
      linkTail(atom, emitNode(ALTERNATIVE));
      linkTail(atom, emitNode(EMPTY));
    } else {
      // Either the atom or nothing; both roads meet at the EMPTY.
      insertNode(ALTERNATIVE, atom);
      linkTail(atom, emitNode(ALTERNATIVE));
      unsigned char* empty = emitNode(EMPTY);
      linkTail(atom, empty);
      linkOperandTail(atom, empty);
    }
    parsePos++;
    if (isRepeatOperator(*parsePos)) return fail("nested *?+");
    return atom;
  }

  unsigned char* parseBranch(int* flags) {
    *flags = 0;
    unsigned char* branch = emitNode(ALTERNATIVE);
    unsigned char* previous = nullptr;
    while (*parsePos != '\0' && *parsePos != '|' && *parsePos != ')') {
      int pieceFlags;
      unsigned char* piece = parsePiece(&pieceFlags);
      if (piece == nullptr) return nullptr;
      *flags |= pieceFlags & NON_EMPTY;
      if (previous == nullptr) {
        *flags |= pieceFlags & VARIABLE_START;
      } else {
        linkTail(previous, piece);
      }
      previous = piece;
    }
    if (previous == nullptr) emitNode(EMPTY);
    return branch;
  }

  unsigned char* parseAlternation(bool isGroup, int* flags) {
    *flags = NON_EMPTY;
    int group = 0;
    unsigned char* result = nullptr;
    if (isGroup) {
      if (nextGroup >= kGroupLimit) return fail("too many ()");
      group = nextGroup++;
      result = emitNode(static_cast<unsigned char>(kGroupOpen + group));
    }
    for (bool first = true; first || *parsePos == '|'; first = false) {
      if (!first) parsePos++;
      int branchFlags;
      unsigned char* branch = parseBranch(&branchFlags);
      if (branch == nullptr) return nullptr;
      if (result == nullptr) {
        result = branch;
      } else {
        linkTail(result, branch);
      }
      if (!(branchFlags & NON_EMPTY)) *flags &= ~NON_EMPTY;
      *flags |= branchFlags & VARIABLE_START;
    }

    unsigned char* closing =
        emitNode(static_cast<unsigned char>(isGroup ? kGroupClose + group : MATCH_END));
    linkTail(result, closing);
    if (!sizing()) {
      for (unsigned char* node = result; node != nullptr; node = nextNode(node)) {
        linkOperandTail(node, closing);
      }
    }

    if (isGroup) {
      if (*parsePos != ')') return fail("unmatched ()");
      parsePos++;
    } else if (*parsePos != '\0') {
      return fail(*parsePos == ')' ? "unmatched ()" : "junk on end");
    }
    return result;
  }

  bool runPass(const char* pattern, unsigned char* start, int* flags) {
    parsePos = reinterpret_cast<const unsigned char*>(pattern);
    nextGroup = 1;
    emitPos = start;
    failed = false;
    emitByte(kProgramMagic);
    parseAlternation(false, flags);
    return !failed;
  }
};

void computeHints(Regexp* regexp, int flags) {
  regexp->firstChar = 0;
  regexp->anchored = 0;
  regexp->mustText = nullptr;
  regexp->mustLength = 0;
  const unsigned char* top = regexp->programBytes() + 1;
  if (nodeOpcode(nextNode(top)) != MATCH_END) return;  // several alternatives

  const unsigned char* first = nodeOperand(top);
  if (nodeOpcode(first) == LITERAL) {
    regexp->firstChar = static_cast<char>(*nodeOperand(first));
  } else if (nodeOpcode(first) == LINE_START) {
    regexp->anchored = 1;
  }
  // Only a pattern that may skip its first piece gains from the search.
  if (!(flags & VARIABLE_START)) return;
  for (const unsigned char* node = first; node != nullptr; node = nextNode(node)) {
    if (nodeOpcode(node) != LITERAL) continue;
    const char* text = reinterpret_cast<const char*>(nodeOperand(node));
    size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(regexp->mustLength)) {
      regexp->mustText = text;
      regexp->mustLength = static_cast<int32_t>(length);
    }
  }
}

}  // namespace

Regexp* compilePattern(const char* pattern) {
  if (pattern == nullptr) {
    reportRegexpError("NULL argument");
    return nullptr;
  }
  int flags;
  Compiler compiler;
  if (!compiler.runPass(pattern, &compiler.sizingMarker, &flags)) return nullptr;
  size_t programSize = compiler.programSize;
  if (programSize >= static_cast<size_t>(kMaxProgramSize)) {
    reportRegexpError("regexp too big");
    return nullptr;
  }
  void* block = std::malloc(sizeof(Regexp) + programSize);
  if (block == nullptr) {
    reportRegexpError("out of space");
    return nullptr;
  }
  Regexp* regexp = static_cast<Regexp*>(block);
  std::memset(regexp, 0, sizeof(Regexp));
  regexp->programSize = static_cast<int32_t>(programSize);
  if (!compiler.runPass(pattern, regexp->programBytes(), &flags)) {  // cannot differ from sizing
    std::free(block);
    return nullptr;
  }
  computeHints(regexp, flags);
  return regexp;
}
