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
// Nested repeats can make that walk exponential in the subject's length.
// The language has no back-references, so whether the walk can still reach
// MATCH_END from a node at a subject position does not depend on the road
// that led there, nor on the start being tried. A walk that has taken too
// many steps therefore starts over with a memo: one bit per (node,
// position), set when the walk enters the pair. Entering a pair again means
// its first visit has been explored to the end and failed, since every
// road that loops consumes at least one byte (a repeat's operand can never
// be empty) and so cannot come back to the pair it left; the walk treats
// the pair as failed at once. Only failing roads are cut, so the first
// MATCH_END reached, and every slot on the road to it, stay the same.
//
// A single-byte repeat needs more care, or it would stay quadratic: all
// its entries inside one run of matching bytes end their count at the same
// byte. An entry at x tries the continuations from the run's end down to
// x + minimum; an entry at a later position of the run could only try some
// of those again, so it is marked along with x. An entry at an earlier
// position of the run stops its count short of x + minimum, where the
// entry at x took over. Each position of each repeat is so scanned once,
// and the whole walk stays within the program size times the subject
// length.
//
// Everything a match writes lives in the caller's MatchState, never in the
// program or in the process: any number of threads may match one program at
// once, each with a state of its own. The stacks persist in the state
// between calls, so matching allocates nothing once they have grown to the
// size the rules need.
#include "regexp/matcher.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace {

// The limits documented at matchSubject.
constexpr uint64_t kMemoBits = uint64_t{1} << 28;
constexpr uint64_t kBudgetSteps = uint64_t{1} << 30;
constexpr uint64_t kBudgetStepsPerByte = 16;
constexpr uint64_t kStackBytes = uint64_t{1} << 30;
// Steps a walk may take before the matcher measures the subject (when the
// caller did not) to set the real limit: most lines never get there.
constexpr uint64_t kFirstSteps = 1024;

uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
uint64_t saturatingMultiply(uint64_t a, uint64_t b) {
  return a != 0 && b > UINT64_MAX / a ? UINT64_MAX : a * b;
}

// Thrown by a stack that would grow past its limit; the entry points turn
// it into kOutOfMemory, as they do std::bad_alloc.
struct StackLimitReached {};

// Bytes held by the blocks of the stacks of one state, and their limit.
struct StackBytes {
  uint64_t held = 0;
  uint64_t limit = kStackBytes;
};

// A stack in fixed-size blocks: growing it never moves what it holds, and
// fresh memory is touched only as far as the stack actually reaches.
template <typename T>
class BlockStack {
 public:
  explicit BlockStack(StackBytes* bytes) : bytes_(bytes) {}
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  T& back() { return at(size_ - 1); }
  void pop() { size_--; }
  void clear() { size_ = 0; }
  void push(const T& item) {
    if (size_ == blocks_.size() * kBlockSize) addBlock();
    at(size_++) = item;
  }
  /// Frees the blocks beyond the first `keep`, so one huge line does not pin
  /// its memory for the rest of the run.
  void trim(size_t keep) {
    if (blocks_.size() <= keep) return;
    bytes_->held -= (blocks_.size() - keep) * kBlockBytes;
    blocks_.resize(keep);
  }

 private:
  static constexpr size_t kBlockSize = 4096;
  static constexpr size_t kBlockBytes = kBlockSize * sizeof(T);
  T& at(size_t i) { return blocks_[i / kBlockSize][i % kBlockSize]; }
  // Leaves the stack as it was when the limit or the allocator says no.
  void addBlock() {
    if (bytes_->held + kBlockBytes > bytes_->limit) throw StackLimitReached();
    std::unique_ptr<T[]> block(new T[kBlockSize]);
    blocks_.push_back(std::move(block));
    bytes_->held += kBlockBytes;
  }
  StackBytes* bytes_;
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

enum TryResult { kTryFailed, kTryMatched, kTryStopped };

// How far a match has got with its limits.
enum class Stage {
  kFirst,   // plain walk, subject not measured yet
  kPlain,   // plain walk within the program-size rule
  kBudget,  // plain walk within the step budget: the memo would be too big
  kMemo,    // walk with the memo
};

// The memo: a row of subjectLength + 1 bits per node, the node's number
// looked up by its program offset.
constexpr uint32_t kNoNode = UINT32_MAX;

// Blocks kept between matches: enough for the lines of any ordinary log.
constexpr size_t kRetainedBlocks = 16;
// Memo words kept between matches (128 KiB).
constexpr size_t kRetainedMemoWords = 16384;

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

// Whether the single-character node matches the byte c; for an operand no
// repeat can have, reports it and answers false, as countRepeat counts 0.
bool repeatTakes(const unsigned char* node, char c) {
  switch (nodeOpcode(node)) {
    case ANY_CHAR:
      return c != '\0';
    case LITERAL:
      return c != '\0' && c == static_cast<char>(*nodeOperand(node));
    case IN_SET:
      return inSet(nodeOperand(node), c);
    case NOT_IN_SET:
      return c != '\0' && !inSet(nodeOperand(node), c);
    default:
      reportRegexpError("internal foulup");
      return false;
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

MatchOutcome outcomeOf(TryResult result) {
  switch (result) {
    case kTryMatched:
      return MatchOutcome::kMatched;
    case kTryStopped:
      return MatchOutcome::kOutOfTime;
    default:
      return MatchOutcome::kNotMatched;
  }
}

// The text of the LITERAL an anchored program opens with, or null.
const unsigned char* anchoredLiteral(const Regexp* regexp) {
  const unsigned char* top = regexp->programBytes() + 1;
  if (regexp->programSize < 7 || nodeOpcode(top) != ALTERNATIVE) return nullptr;
  const unsigned char* start = nodeOperand(top);
  if (nodeOpcode(start) != LINE_START) return nullptr;
  const unsigned char* next = nextNode(start);
  return next != nullptr && nodeOpcode(next) == LITERAL ? nodeOperand(next) : nullptr;
}

bool startsWith(const char* subject, const unsigned char* text) {
  for (; *text != '\0'; ++text, ++subject) {
    if (static_cast<unsigned char>(*subject) != *text) return false;
  }
  return true;
}

// Whether the must-contain text occurs; with the length known, a search
// of that many bytes (which may look past a NUL inside: only a hint).
bool containsMustText(const Regexp* regexp, const char* subject, size_t length, bool known) {
  if (!known) return std::strstr(subject, regexp->mustText) != nullptr;
  std::string_view text(subject, length);
  return text.find(regexp->mustText, 0, static_cast<size_t>(regexp->mustLength)) !=
         std::string_view::npos;
}

}  // namespace

// One state's walk: what a match reads and writes besides the program and
// the subject, kept from match to match.
struct MatchWalk {
  explicit MatchWalk(MatchState* owner) : slots(owner) {}

  MatchLimits limits = defaultMatchLimits();
  StackBytes stackBytes;
  BlockStack<ChoicePoint> choices{&stackBytes};
  BlockStack<TrailEntry> trail{&stackBytes};
  // Where the capture slots are written.
  MatchState* slots;

  // The match under way.
  const char* subjectStart = nullptr;
  const char* inputPos = nullptr;
  const unsigned char* program = nullptr;
  size_t programSize = 0;
  // Whether the try under way wrote a slot, so a failed try knows whether it
  // has anything to clear.
  bool slotWritten = false;
  // Whether this match has cleared the slots yet: hints that turn the
  // subject down before any try leave them as they were.
  bool slotsCleared = false;

  // Length of the subject, once known (from the caller or measured).
  size_t subjectLength = 0;
  bool lengthKnown = false;

  // Steps taken by this match, over all its tries, and the limit of the stage.
  uint64_t steps = 0;
  uint64_t stepLimit = 0;
  Stage stage = Stage::kFirst;
  // Why the walk stopped: to start the try over with the memo, or for good.
  bool restartWithMemo = false;

  bool memoOn = false;
  std::vector<uint64_t> memo;
  std::vector<uint32_t> memoNodes;
  uint64_t memoStride = 0;
  uint64_t memoBitCount = 0;

  size_t measuredLength() {
    if (!lengthKnown) {
      subjectLength = std::strlen(subjectStart);
      lengthKnown = true;
    }
    return subjectLength;
  }

  // Numbers every node of the program and clears a memo for the subject;
  // false when it would pass limits.memoBits or memory cannot be had.
  bool startMemo() {
    // The real length, even if the caller's was longer: the walk never passes
    // the first NUL, and the rows must cover every position it reaches.
    uint64_t stride = std::strlen(subjectStart) + uint64_t{1};
    try {
      memoNodes.assign(programSize, kNoNode);
      uint32_t nodes = 0;
      // Node headers and string operands lie end to end after the magic byte.
      for (size_t at = 1; at + 3 <= programSize;) {
        memoNodes[at] = nodes++;
        unsigned char opcode = program[at];
        at += 3;
        if (opcode == LITERAL || opcode == IN_SET || opcode == NOT_IN_SET) {
          const void* end = std::memchr(program + at, 0, programSize - at);
          if (end == nullptr) break;
          at = static_cast<size_t>(static_cast<const unsigned char*>(end) - program) + 1;
        }
      }
      uint64_t bits = saturatingMultiply(nodes, stride);
      if (nodes == 0 || bits > limits.memoBits) return false;
      memo.assign(static_cast<size_t>((bits + 63) / 64), 0);
      memoStride = stride;
      memoBitCount = bits;
    } catch (const std::bad_alloc&) {
      return false;
    }
    memoOn = true;
    return true;
  }

  void releaseMemo() {
    memoOn = false;
    if (memo.capacity() > kRetainedMemoWords) std::vector<uint64_t>().swap(memo);
  }

  // The first bit of node's memo row, or UINT64_MAX when it has none.
  uint64_t memoRow(const unsigned char* node) const {
    size_t at = static_cast<size_t>(node - program);
    if (at >= memoNodes.size() || memoNodes[at] == kNoNode) return UINT64_MAX;
    return memoNodes[at] * memoStride;
  }

  // Sets the bit; true when it was already set.
  bool testAndSet(uint64_t bit) {
    uint64_t& word = memo[bit >> 6];
    uint64_t mask = uint64_t{1} << (bit & 63);
    if ((word & mask) != 0) return true;
    word |= mask;
    return false;
  }

  // Marks (node, position) entered; true when it had been entered before.
  bool enteredBefore(const unsigned char* node, const char* position) {
    uint64_t row = memoRow(node);
    return row != UINT64_MAX && testAndSet(row + static_cast<uint64_t>(position - subjectStart));
  }

  // Called when steps passes stepLimit: moves to the next stage and returns
  // true when the walk may go on; false stops it, to start over with the memo
  // when restartWithMemo is set, for good otherwise.
  bool mayContinue() {
    if (stage == Stage::kFirst) {
      stage = Stage::kPlain;
      uint64_t nodesPerByte = programSize / 4 + 2;
      stepLimit = saturatingAdd(saturatingMultiply(measuredLength() + uint64_t{1}, nodesPerByte),
                                kFirstSteps);
      stepLimit = std::min(stepLimit, limits.plainSteps);
      if (steps <= stepLimit) return true;
    }
    if (stage == Stage::kPlain) {
      if (startMemo()) {
        stage = Stage::kMemo;
        // Far more than a memo walk can take; only a damaged program gets there.
        stepLimit =
            saturatingAdd(steps, saturatingAdd(saturatingMultiply(memoBitCount, 16), kFirstSteps));
        restartWithMemo = true;
        return false;
      }
      stage = Stage::kBudget;
      stepLimit =
          saturatingAdd(limits.budgetSteps,
                        saturatingMultiply(measuredLength() + uint64_t{1}, kBudgetStepsPerByte));
      if (steps <= stepLimit) return true;
    }
    return false;
  }

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

  void clearSlots() { slots->clearSlots(); }

  // countRepeat for a walk with the memo (see the file comment): marks the
  // repeat entered at every position of its run from position on, and stops
  // at a position marked before, past which every longer count has failed.
  size_t memoRepeat(const unsigned char* node, const char* position, size_t minimum,
                    uint64_t* taken) {
    uint64_t row = memoRow(node);
    if (row == UINT64_MAX) return countRepeat(nodeOperand(node), position);
    const unsigned char* single = nodeOperand(node);
    size_t start = static_cast<size_t>(position - subjectStart);
    size_t at = start;
    while (repeatTakes(single, subjectStart[at])) {
      ++*taken;
      // The entry at at + 1 tried every end from at + 1 + minimum on.
      if (testAndSet(row + at + 1)) return at + minimum - start;
      at++;
    }
    return at - start;
  }

  // Resumes the newest open road: sets node and position, or returns false
  // when every road has been tried. Counts the repeat counts it passes over.
  // Inlined into both walks: a call would keep node and position in memory.
  [[gnu::always_inline]] inline bool backtrack(const unsigned char** node, const char** position,
                                               uint64_t* taken) {
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
      bool fits = fitRepeat(choice.position, &count, minimum, lookaheadByte(successor));
      *taken += choice.count - 1 - count;
      if (!fits) {
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

  // Walks the program from node at position; on a match inputPos is where the
  // match ended. The step count lives in a local on the way and goes back to
  // steps on every way out. The plain walk is compiled apart from the memo
  // walk, so that it stays as lean as it was without one.
  template <bool memoWalk>
  TryResult matchHere(const unsigned char* node, const char* position) {
    uint64_t taken = steps;
    uint64_t limit = stepLimit;
    for (;;) {
      if (++taken > limit) {
        steps = taken;
        if (!mayContinue()) return kTryStopped;
        limit = stepLimit;
      }
      if (memoWalk && enteredBefore(node, position)) {
        if (!backtrack(&node, &position, &taken)) {
          steps = taken;
          return kTryFailed;
        }
        continue;
      }
      const unsigned char* successor = nextNode(node);
      unsigned char opcode = nodeOpcode(node);
      bool ok = true;
      switch (opcode) {
        case MATCH_END:
          inputPos = position;
          steps = taken;
          return kTryMatched;
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
          size_t count;
          if constexpr (memoWalk) {
            count = memoRepeat(node, position, minimum, &taken);
          } else {
            count = countRepeat(nodeOperand(node), position);
            taken += count;
            // A run to the end tells the length: no second pass to measure it.
            if (!lengthKnown && position[count] == '\0') {
              subjectLength = static_cast<size_t>(position + count - subjectStart);
              lengthKnown = true;
            }
          }
          size_t longest = count;
          ok = fitRepeat(position, &count, minimum, lookaheadByte(successor));
          taken += longest - count;
          if (ok && count > minimum) pushChoice(node, position, count);
          position += count;
          break;
        }
        default:
          if (opcode > kGroupOpen && opcode < kGroupOpen + kGroupSlots) {
            writeSlot(&slots->groupStart[opcode - kGroupOpen], position);
          } else if (opcode > kGroupClose && opcode < kGroupClose + kGroupSlots) {
            writeSlot(&slots->groupEnd[opcode - kGroupClose], position);
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
      } else if (!backtrack(&node, &position, &taken)) {
        steps = taken;
        return kTryFailed;
      }
    }
  }

  // Every try starts and every try that does not match ends with all slots
  // null: the first try clears them, and a try that wrote one clears them
  // again.
  TryResult tryOnce(const char* position) {
    if (!slotsCleared) {
      clearSlots();
      slotsCleared = true;
    }
    slotWritten = false;
    choices.clear();
    trail.clear();
    // The memo is switched on only between tries.
    TryResult result =
        memoOn ? matchHere<true>(program + 1, position) : matchHere<false>(program + 1, position);
    if (result == kTryMatched) {
      slots->groupStart[0] = position;
      slots->groupEnd[0] = inputPos;
    } else if (slotWritten) {
      clearSlots();
    }
    return result;
  }

  // A try, started over with the memo when the plain walk asks for it. The
  // memo stays for the later starts: a pair that failed fails from any start.
  TryResult tryAt(const char* position) {
    TryResult result = tryOnce(position);
    if (result == kTryStopped && restartWithMemo) {
      restartWithMemo = false;
      result = tryOnce(position);
    }
    return result;
  }

  // Tries the starts the hints leave, leftmost first.
  MatchOutcome search(const Regexp* regexp, const char* subject) {
    slotsCleared = false;
    if (regexp->anchored) return outcomeOf(tryAt(subject));
    if (regexp->firstChar != '\0') {
      for (const char* s = std::strchr(subject, regexp->firstChar); s != nullptr;
           s = std::strchr(s + 1, regexp->firstChar)) {
        TryResult result = tryAt(s);
        if (result != kTryFailed) return outcomeOf(result);
      }
      return MatchOutcome::kNotMatched;
    }
    // Up to and including the terminating NUL: patterns may match empty text.
    const char* s = subject;
    do {
      TryResult result = tryAt(s);
      if (result != kTryFailed) return outcomeOf(result);
    } while (*s++ != '\0');
    return MatchOutcome::kNotMatched;
  }

  MatchOutcome match(const Regexp* regexp, const char* subject, size_t length, bool known) {
    program = regexp->programBytes();
    programSize = static_cast<size_t>(regexp->programSize);
    subjectStart = subject;
    subjectLength = length;
    lengthKnown = known;
    steps = 0;
    stage = Stage::kFirst;
    stepLimit = std::min(kFirstSteps, limits.plainSteps);
    restartWithMemo = false;
    memoOn = false;
    MatchOutcome outcome;
    try {
      outcome = search(regexp, subject);
    } catch (const StackLimitReached&) {
      outcome = MatchOutcome::kOutOfMemory;
    } catch (const std::bad_alloc&) {
      outcome = MatchOutcome::kOutOfMemory;
    }
    if (outcome == MatchOutcome::kOutOfMemory || outcome == MatchOutcome::kOutOfTime) clearSlots();
    choices.trim(kRetainedBlocks);
    trail.trim(kRetainedBlocks);
    releaseMemo();
    return outcome;
  }
};

namespace {

// Whether the hints turn the subject down before any try. An anchored
// program that opens with a literal the subject does not begin with is
// turned down as its only try would be, with the slots cleared; the
// must-contain text turns it down with the slots left as they were.
bool rejectedByHints(const Regexp* regexp, const char* subject, size_t length, bool known,
                     MatchState& state) {
  if (regexp->mustText != nullptr && !containsMustText(regexp, subject, length, known)) {
    return true;
  }
  if (regexp->anchored) {
    const unsigned char* text = anchoredLiteral(regexp);
    if (text != nullptr && !startsWith(subject, text)) {
      state.clearCaptures();
      return true;
    }
  }
  return false;
}

}  // namespace

MatchOutcome MatchState::match(const Regexp* regexp, const char* subject, size_t length,
                               bool known) {
  lastOutcome_ = MatchOutcome::kNotMatched;
  if (regexp == nullptr || subject == nullptr) {
    reportRegexpError("NULL parameter");
    return lastOutcome_;
  }
  if (regexp->programBytes()[0] != kProgramMagic) {
    reportRegexpError("corrupted program");
    return lastOutcome_;
  }
  if (rejectedByHints(regexp, subject, length, known, *this)) return lastOutcome_;
  slotsNull_ = false;
  lastOutcome_ = walk_->match(regexp, subject, length, known);
  return lastOutcome_;
}

MatchState::MatchState() : groupStart(), groupEnd(), walk_(std::make_unique<MatchWalk>(this)) {}

MatchState::~MatchState() = default;

MatchLimits MatchState::setLimits(const MatchLimits& limits) {
  MatchLimits previous = walk_->limits;
  walk_->limits = limits;
  walk_->stackBytes.limit = limits.stackBytes;
  return previous;
}

void MatchState::clearSlots() {
  std::memset(groupStart, 0, sizeof groupStart);
  std::memset(groupEnd, 0, sizeof groupEnd);
}

int matchPattern(const Regexp* regexp, const char* subject, MatchState& state) {
  return state.match(regexp, subject, 0, false) == MatchOutcome::kMatched ? 1 : 0;
}

MatchOutcome matchSubject(const Regexp* regexp, const char* subject, MatchState& state) {
  return state.match(regexp, subject, 0, false);
}

MatchOutcome matchSubject(const Regexp* regexp, const char* subject, size_t length,
                          MatchState& state) {
  return state.match(regexp, subject, length, true);
}

std::string_view openingLiteral(const Regexp* regexp) {
  if (regexp == nullptr || !regexp->anchored || regexp->mustText != nullptr) return {};
  const unsigned char* text = anchoredLiteral(regexp);
  return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text))
                         : std::string_view();
}

bool isOpeningLiteralOnly(const Regexp* regexp) {
  if (openingLiteral(regexp).empty()) return false;
  const unsigned char* literal = nextNode(nodeOperand(regexp->programBytes() + 1));
  const unsigned char* after = nextNode(literal);
  return after != nullptr && nodeOpcode(after) == MATCH_END;
}

MatchLimits defaultMatchLimits() { return {UINT64_MAX, kMemoBits, kBudgetSteps, kStackBytes}; }
