// The compiled form of a pattern, shared by the compiler and the matcher.
//
// A Regexp is one C-heap block: the fields below, directly followed by the
// program bytes. The program is a chain of nodes linked by 16-bit distances,
// so it can be shifted in place while it is being built and needs no
// pointer fixing. Every node is a 3-byte header (opcode, then the distance to
// its successor, high byte first; 0 means none) and, for some opcodes, an
// operand right after the header.
#ifndef TARNWICK_REGEXP_REGEXP_H
#define TARNWICK_REGEXP_REGEXP_H

#include <cstdint>

/// Number of capture slots of each kind; slot 0 is the whole match.
constexpr int kGroupSlots = 10;

/// First byte of every program; the matcher refuses anything else.
constexpr unsigned char kProgramMagic = 156;

/// Node opcodes. Group n is written as kGroupOpen + n / kGroupClose + n, n in 1..9.
enum Opcode : unsigned char {
  MATCH_END = 0,
  LINE_START = 1,
  LINE_END = 2,
  ANY_CHAR = 3,
  IN_SET = 4,
  NOT_IN_SET = 5,
  ALTERNATIVE = 6,
  LOOP_BACK = 7,
  LITERAL = 8,
  EMPTY = 9,
  REPEAT_STAR = 10,
  REPEAT_PLUS = 11,
};
constexpr unsigned char kGroupOpen = 20;
constexpr unsigned char kGroupClose = 30;

/// One compiled pattern. Made by compilePattern with malloc; the caller owns
/// it and releases it, if at all, with one free(). Nothing writes it after
/// compilation: a match keeps all it writes, the capture slots included, in
/// the caller's MatchState, so any number of threads may match it at once.
struct Regexp {
  /// When not 0, every match begins with this byte.
  char firstChar;
  /// 1 when a match can begin only at the start of the subject.
  char anchored;
  /// A literal inside the program that every match contains, or null.
  const char* mustText;
  /// strlen(mustText); 0 while mustText is null.
  int32_t mustLength;
  /// Number of program bytes that follow this struct.
  int32_t programSize;

  unsigned char* programBytes() { return reinterpret_cast<unsigned char*>(this + 1); }
  const unsigned char* programBytes() const {
    return reinterpret_cast<const unsigned char*>(this + 1);
  }
};

/// Receives every error message of the engine (compiler and matcher) before
/// the operation fails. Null unless somebody installs one; the engine itself
/// never prints. The one process-wide setting of the engine: installed, if
/// at all, before any thread compiles or matches (the program never does;
/// the engine's tests do), and only read afterwards. A hook that is called
/// from several matching threads must be safe for that.
using ErrorHook = void (*)(const char* message);
extern ErrorHook errorHook;

/// Passes message to errorHook when one is installed.
void reportRegexpError(const char* message);

/// Program walking helpers for the compiler, the matcher and their tests.
inline unsigned char nodeOpcode(const unsigned char* node) { return node[0]; }
inline unsigned nodeDistance(const unsigned char* node) {
  return (static_cast<unsigned>(node[1]) << 8) | node[2];
}
inline const unsigned char* nodeOperand(const unsigned char* node) { return node + 3; }
inline unsigned char* nodeOperand(unsigned char* node) { return node + 3; }

/// The node that follows node, or null when its distance is 0. A LOOP_BACK
/// leads backwards, every other opcode forwards.
template <typename Byte>
inline Byte* nextNode(Byte* node) {
  unsigned distance = nodeDistance(node);
  if (distance == 0) return nullptr;
  return nodeOpcode(node) == LOOP_BACK ? node - distance : node + distance;
}

#endif
