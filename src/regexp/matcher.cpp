// Backtracking matcher.
//
// The program is walked depth-first in the order a recursive matcher would
// walk it: the alternatives of a choice in pattern order, repeats from the
// longest run down. Instead of recursing, each place where another road is
// left open is pushed on a heap stack of choice points, and each capture
// slot written while such a road is open is logged on a trail so that
// taking the other road undoes it. So the depth of a match is bounded by
// memory, not by the thread's stack, whatever the length of the subject.
//
// The first MATCH_END reached is the match. At that moment each slot holds
// the value of the last group boundary passed on the successful road, which
// is the capture rule: a group in a loop keeps its last pass, and nothing of
// an abandoned road survives.
//
// The stacks persist between calls, so matching allocates nothing once they
// have grown to the size the rules need.
#include "regexp/matcher.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// A stack in fixed-size blocks: growing it never moves what it holds, and
// fresh memory is touched only as far as the stack actually reaches.
template <typename T>
class BlockStack {
 public:
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  T& back() { return at(size_ - 1); }
  void pop() { size_--; }
  void clear() { size_ = 0; }
  void push(const T& item) {
    if (size_ == blocks_.size() * kBlockSize) blocks_.emplace_back(new T[kBlockSize]);
    at(size_++) = item;
  }
  /// Frees the blocks beyond the first `keep`, so one huge line does not pin
  /// its memory for the rest of the run.
  void trim(size_t keep) {
    if (blocks_.size() > keep) blocks_.resize(keep);
  }

 private:
  static constexpr size_t kBlockSize = 4096;
  T& at(size_t i) { return blocks_[i / kBlockSize][i % kBlockSize]; }
  std::vector<std::unique_ptr<T[]>> blocks_;
  size_t size_ = 0;
};

struct ChoicePoint {
  const char* position;  // where to resume; for a repeat, where its run began
  size_t count;          // for a repeat, the run length tried last
  uint32_t node;         // program offset of the ALTERNATIVE to try next, or of the repeat
  uint32_t trailHeight;  // slot writes above this belong to the open road
};

struct TrailEntry {
  const char** slot;
  const char* previous;
};

// Match state: one match at a time in the process.
BlockStack<ChoicePoint> choices;
BlockStack<TrailEntry> trail;
const char* subjectStart;
const char* inputPos;
Regexp* current;
const unsigned char* program;
// Whether the try under way wrote a slot, so a failed try knows whether it
// has anything to clear.
bool slotWritten;
// Whether this match has cleared the slots yet: hints that turn the subject
// down before any try leave them as they were.
bool slotsCleared;

// Blocks kept between matches: enough for the lines of any ordinary log.
constexpr size_t kRetainedBlocks = 16;

void pushChoice(const unsigned char* node, const char* position, size_t count) {
  choices.push({position, count, static_cast<uint32_t>(node - program),
                static_cast<uint32_t>(trail.size())});
}

void writeSlot(const char** slot, const char* position) {
  slotWritten = true;
  // With no road left open a failure ends the try, which clears every slot.
  if (!choices.empty()) trail.push({slot, *slot});
  *slot = position;
}

void undoTrail(size_t height) {
  while (trail.size() > height) {
    *trail.back().slot = trail.back().previous;
    trail.pop();
  }
}

// The ALTERNATIVE after alternative in the same choice, or null.
const unsigned char* followingAlternative(const unsigned char* alternative) {
  const unsigned char* next = nextNode(alternative);
  return next != nullptr && nodeOpcode(next) == ALTERNATIVE ? next : nullptr;
}

// The first alternative, from alternative on, that does not fail at once at
// position. Passing over one whose body opens with a literal that differs
// changes nothing but the cost: that road would end before touching a slot.
const unsigned char* viableAlternative(const unsigned char* alternative, const char* position) {
  for (; alternative != nullptr; alternative = followingAlternative(alternative)) {
    const unsigned char* body = nodeOperand(alternative);
    if (nodeOpcode(body) != LITERAL || *nodeOperand(body) == static_cast<unsigned char>(*position))
      return alternative;
  }
  return nullptr;
}

void clearSlots() {
  std::memset(current->groupStart, 0, sizeof current->groupStart);
  std::memset(current->groupEnd, 0, sizeof current->groupEnd);
}

bool inSet(const unsigned char* members, char c) {
  return c != '\0' && std::strchr(reinterpret_cast<const char*>(members), c) != nullptr;
}

// Bytes in a row from position that the single-character node matches.
size_t countRepeat(const unsigned char* node, const char* position) {
  const char* operand = reinterpret_cast<const char*>(nodeOperand(node));
  switch (nodeOpcode(node)) {
    case ANY_CHAR:
      return std::strlen(position);
    case LITERAL: {
      size_t count = 0;
      while (position[count] == operand[0]) count++;
      return count;
    }
    case IN_SET:
      return std::strspn(position, operand);
    case NOT_IN_SET:
      return std::strcspn(position, operand);
    default:
      reportRegexpError("internal foulup");
      return 0;
  }
}

// The byte the repeat's continuation must start with, or -1 when unknown.
int lookaheadByte(const unsigned char* successor) {
  return nodeOpcode(successor) == LITERAL ? *nodeOperand(successor) : -1;
}

// Lowers count to the longest run, not below minimum, after which the
// continuation can start; false when there is none.
bool fitRepeat(const char* start, size_t* count, size_t minimum, int lookahead) {
  for (;;) {
    if (*count < minimum) return false;
    if (lookahead < 0 || static_cast<unsigned char>(start[*count]) == lookahead) return true;
    if (*count == minimum) return false;
    --*count;
  }
}

size_t repeatMinimum(const unsigned char* node) { return nodeOpcode(node) == REPEAT_PLUS ? 1 : 0; }

// Resumes the newest open road: sets node and position, or returns false
// when every road has been tried.
bool backtrack(const unsigned char** node, const char** position) {
  while (!choices.empty()) {
    ChoicePoint& choice = choices.back();
    undoTrail(choice.trailHeight);
    const unsigned char* chosen = program + choice.node;
    if (nodeOpcode(chosen) == ALTERNATIVE) {
      *position = choice.position;
      *node = nodeOperand(chosen);
      const unsigned char* rest = viableAlternative(followingAlternative(chosen), *position);
      if (rest != nullptr) {
        choice.node = static_cast<uint32_t>(rest - program);
      } else {
        choices.pop();
      }
      return true;
    }
    const unsigned char* successor = nextNode(chosen);
    size_t minimum = repeatMinimum(chosen);
    size_t count = choice.count - 1;  // only pushed while count > minimum
    if (!fitRepeat(choice.position, &count, minimum, lookaheadByte(successor))) {
      choices.pop();
      continue;
    }
    *position = choice.position + count;
    *node = successor;
    if (count > minimum) {
      choice.count = count;
    } else {
      choices.pop();
    }
    return true;
  }
  return false;
}

// Walks the program from node at position; on success inputPos is where the
// match ended.
bool matchHere(const unsigned char* node, const char* position) {
  for (;;) {
    const unsigned char* successor = nextNode(node);
    unsigned char opcode = nodeOpcode(node);
    bool ok = true;
    switch (opcode) {
      case MATCH_END:
        inputPos = position;
        return true;
      case LINE_START:
        ok = position == subjectStart;
        break;
      case LINE_END:
        ok = *position == '\0';
        break;
      case ANY_CHAR:
        ok = *position != '\0';
        position++;
        break;
      case LITERAL: {
        const unsigned char* text = nodeOperand(node);
        const char* p = position;
        while (*text != '\0' && static_cast<unsigned char>(*p) == *text) {
          ++text;
          ++p;
        }
        ok = *text == '\0';
        position = p;
        break;
      }
      case IN_SET:
        ok = inSet(nodeOperand(node), *position);
        position++;
        break;
      case NOT_IN_SET:
        ok = *position != '\0' && !inSet(nodeOperand(node), *position);
        position++;
        break;
      case EMPTY:
      case LOOP_BACK:
        break;
      case ALTERNATIVE: {
        if (successor == nullptr || nodeOpcode(successor) != ALTERNATIVE) {
          successor = nodeOperand(node);  // no choice to remember
          break;
        }
        const unsigned char* chosen = viableAlternative(node, position);
        if (chosen == nullptr) {
          ok = false;
          break;
        }
        const unsigned char* rest = viableAlternative(followingAlternative(chosen), position);
        if (rest != nullptr) pushChoice(rest, position, 0);
        successor = nodeOperand(chosen);
        break;
      }
      case REPEAT_STAR:
      case REPEAT_PLUS: {
        if (successor == nullptr) break;  // reported below
        size_t minimum = repeatMinimum(node);
        size_t count = countRepeat(nodeOperand(node), position);
        ok = fitRepeat(position, &count, minimum, lookaheadByte(successor));
        if (ok && count > minimum) pushChoice(node, position, count);
        position += count;
        break;
      }
      default:
        if (opcode > kGroupOpen && opcode < kGroupOpen + kGroupSlots) {
          writeSlot(&current->groupStart[opcode - kGroupOpen], position);
        } else if (opcode > kGroupClose && opcode < kGroupClose + kGroupSlots) {
          writeSlot(&current->groupEnd[opcode - kGroupClose], position);
        } else {
          reportRegexpError("memory corruption");
          ok = false;
        }
        break;
    }
    if (ok && successor == nullptr) {
      reportRegexpError("corrupted pointers");
      ok = false;
    }
    if (ok) {
      node = successor;
    } else if (!backtrack(&node, &position)) {
      return false;
    }
  }
}

// Every try starts and every failed try ends with all slots null: the
// first try clears them, and a failed try that wrote one clears them again.
int tryAt(const char* position) {
  if (!slotsCleared) {
    clearSlots();
    slotsCleared = true;
  }
  slotWritten = false;
  choices.clear();
  trail.clear();
  if (matchHere(program + 1, position)) {
    current->groupStart[0] = position;
    current->groupEnd[0] = inputPos;
    return 1;
  }
  if (slotWritten) clearSlots();
  return 0;
}

int search(const char* subject) {
  if (current->mustText != nullptr && std::strstr(subject, current->mustText) == nullptr) {
    return 0;
  }
  slotsCleared = false;
  subjectStart = subject;
  if (current->anchored) return tryAt(subject);
  if (current->firstChar != '\0') {
    for (const char* s = std::strchr(subject, current->firstChar); s != nullptr;
         s = std::strchr(s + 1, current->firstChar)) {
      if (tryAt(s)) return 1;
    }
    return 0;
  }
  // Up to and including the terminating NUL: patterns may match empty text.
  const char* s = subject;
  do {
    if (tryAt(s)) return 1;
  } while (*s++ != '\0');
  return 0;
}

}  // namespace

int matchPattern(Regexp* regexp, const char* subject) {
  if (regexp == nullptr || subject == nullptr) {
    reportRegexpError("NULL parameter");
    return 0;
  }
  if (regexp->programBytes()[0] != kProgramMagic) {
    reportRegexpError("corrupted program");
    return 0;
  }
  current = regexp;
  program = regexp->programBytes();
  int result = search(subject);
  choices.trim(kRetainedBlocks);
  trail.trim(kRetainedBlocks);
  return result;
}
