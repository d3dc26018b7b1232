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

#include <cstring>
#include <vector>

namespace {

struct ChoicePoint {
  const unsigned char* node;  // the ALTERNATIVE to try next, or the repeat node
  const char* position;       // where to resume; for a repeat, where its run began
  size_t count;               // for a repeat, the run length tried last
  size_t trailHeight;         // slot writes above this belong to the open road
};

struct TrailEntry {
  const char** slot;
  const char* previous;
};

// Match state: one match at a time in the process.
std::vector<ChoicePoint> choices;
std::vector<TrailEntry> trail;
const char* subjectStart;
const char* inputPos;
Regexp* current;

// Above this many entries a stack is released after the match, so one huge
// line does not pin its memory for the rest of the run.
constexpr size_t kRetainedEntries = 1 << 16;

void writeSlot(const char** slot, const char* position) {
  // With no road left open a failure ends the try, which clears every slot.
  if (!choices.empty()) trail.push_back({slot, *slot});
  *slot = position;
}

void undoTrail(size_t height) {
  while (trail.size() > height) {
    *trail.back().slot = trail.back().previous;
    trail.pop_back();
  }
}

void clearSlots() {
  for (int n = 0; n < kGroupSlots; n++) {
    current->groupStart[n] = nullptr;
    current->groupEnd[n] = nullptr;
  }
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
    if (nodeOpcode(choice.node) == ALTERNATIVE) {
      const unsigned char* alternative = choice.node;
      const unsigned char* following = nextNode(alternative);
      *position = choice.position;
      *node = nodeOperand(alternative);
      if (following != nullptr && nodeOpcode(following) == ALTERNATIVE) {
        choice.node = following;
      } else {
        choices.pop_back();
      }
      return true;
    }
    const unsigned char* successor = nextNode(choice.node);
    size_t minimum = repeatMinimum(choice.node);
    size_t count = choice.count - 1;  // only pushed while count > minimum
    if (!fitRepeat(choice.position, &count, minimum, lookaheadByte(successor))) {
      choices.pop_back();
      continue;
    }
    *position = choice.position + count;
    *node = successor;
    if (count > minimum) {
      choice.count = count;
    } else {
      choices.pop_back();
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
      case ALTERNATIVE:
        if (successor != nullptr && nodeOpcode(successor) == ALTERNATIVE) {
          choices.push_back({successor, position, 0, trail.size()});
        }
        successor = nodeOperand(node);
        break;
      case REPEAT_STAR:
      case REPEAT_PLUS: {
        if (successor == nullptr) break;  // reported below
        size_t minimum = repeatMinimum(node);
        size_t count = countRepeat(nodeOperand(node), position);
        ok = fitRepeat(position, &count, minimum, lookaheadByte(successor));
        if (ok && count > minimum) choices.push_back({node, position, count, trail.size()});
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

int tryAt(const char* position) {
  clearSlots();
  choices.clear();
  trail.clear();
  if (matchHere(current->programBytes() + 1, position)) {
    current->groupStart[0] = position;
    current->groupEnd[0] = inputPos;
    return 1;
  }
  clearSlots();
  return 0;
}

int search(const char* subject) {
  if (current->mustText != nullptr && std::strstr(subject, current->mustText) == nullptr) {
    return 0;
  }
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

template <typename T>
void releaseIfLarge(std::vector<T>* stack) {
  if (stack->capacity() > kRetainedEntries) std::vector<T>().swap(*stack);
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
  int result = search(subject);
  releaseIfLarge(&choices);
  releaseIfLarge(&trail);
  return result;
}
