// The chained string table behind the VariableTable and the HashSet.
//
// Its order is visible (scan mode lists codes in table order), so the design
// is fixed: 10 buckets to start; the bucket of a key is the plain sum of its
// bytes (0..255 each) modulo the bucket count; a new node goes to the tail of
// its chain; when entries / buckets (truncated) exceeds 5 after an insertion,
// the table re-links into entries / 2 buckets, visiting old buckets in index
// order and each chain head to tail, appending every node to the tail of its
// new chain. So the table triples: 10 buckets up to 59 keys, 30 from the
// 60th, 90 from the 180th.
//
// The byte sum spreads keys such as E123456 over a few dozen buckets
// whatever their number, so the chains only fix the order: keys are found
// through a second index, an open-addressing table of the nodes under a
// well-mixed hash of the whole key, and each chain's tail is remembered so
// that neither an insertion nor a growth walks a chain. Nodes are taken
// from chunks in insertion order, so a million of them cost a few hundred
// allocations and are freed in memory order rather than chain order.
#ifndef TARNWICK_BASE_CHAINED_TABLE_H
#define TARNWICK_BASE_CHAINED_TABLE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

template <typename Value>
class ChainedTable {
 public:
  struct Node {
    std::string key;
    Value value;
    Node* next = nullptr;
  };

  ChainedTable()
      : buckets_(kStartBuckets, nullptr), tails_(kStartBuckets, nullptr), index_(kStartSlots) {}
  ~ChainedTable() = default;
  ChainedTable(const ChainedTable&) = delete;
  ChainedTable& operator=(const ChainedTable&) = delete;

  /// The node holding key (compared byte for byte), or null.
  Node* find(const char* key) const {
    size_t length;
    uint64_t hash = indexHash(key, &length);
    for (size_t i = slotOf(hash, index_.size());; i = (i + 1) & (index_.size() - 1)) {
      const Slot& slot = index_[i];
      if (slot.node == nullptr) return nullptr;
      if (slot.hash == hash && slot.node->key.size() == length &&
          std::memcmp(slot.node->key.data(), key, length) == 0) {
        return slot.node;
      }
    }
  }

  /// Adds a node for key, which must not be present, at the tail of its
  /// chain; may grow the table. Returns the new node.
  Node* insert(const char* key, Value value) {
    Node* node = newNode();
    node->key = key;
    node->value = std::move(value);
    linkAtTail(buckets_, tails_, node);
    addToIndex(node);
    ++entryCount_;
    if (entryCount_ / bucketCount() > 5) grow();
    return node;
  }

  /// Calls visit(node) for every node in table order.
  template <typename Visit>
  void forEach(Visit visit) const {
    for (Node* head : buckets_) {
      for (Node* node = head; node != nullptr; node = node->next) visit(*node);
    }
  }

  /// Frees every node and empties every bucket.
  void clear() {
    chunks_.clear();
    chunkUsed_ = 0;
    chunkSize_ = 0;
    buckets_.assign(kStartBuckets, nullptr);
    tails_.assign(kStartBuckets, nullptr);
    index_.assign(kStartSlots, Slot());
    entryCount_ = 0;
  }

  int32_t bucketCount() const { return static_cast<int32_t>(buckets_.size()); }
  int32_t entryCount() const { return entryCount_; }

  /// The sum of key's bytes, each 0..255.
  static uint64_t hashKey(const char* key) {
    uint64_t sum = 0;
    for (const unsigned char* byte = reinterpret_cast<const unsigned char*>(key); *byte != 0;
         ++byte) {
      sum += *byte;
    }
    return sum;
  }

 private:
  /// One place of the index: a node and the index hash of its key.
  struct Slot {
    uint64_t hash = 0;
    Node* node = nullptr;
  };

  static constexpr size_t kStartBuckets = 10;
  static constexpr size_t kStartSlots = 16;  // a power of two
  static constexpr size_t kFirstChunk = 16;  // nodes; each chunk doubles up to kLargestChunk
  static constexpr size_t kLargestChunk = 4096;

  Node* newNode() {
    if (chunkUsed_ == chunkSize_) {
      size_t size = chunkSize_ == 0 ? kFirstChunk : std::min(chunkSize_ * 2, kLargestChunk);
      chunks_.emplace_back(new Node[size]);
      chunkSize_ = size;
      chunkUsed_ = 0;
    }
    return &chunks_.back()[chunkUsed_++];
  }

  static size_t bucketOf(const char* key, size_t count) { return hashKey(key) % count; }

  // FNV-1a over the bytes, then a final mix so that every bit of the key
  // reaches the high bits that pick the slot. Sets *length to strlen(key).
  static uint64_t indexHash(const char* key, size_t* length) {
    uint64_t hash = 14695981039346656037u;
    const unsigned char* byte = reinterpret_cast<const unsigned char*>(key);
    for (; *byte != 0; ++byte) hash = (hash ^ *byte) * 1099511628211u;
    *length = static_cast<size_t>(byte - reinterpret_cast<const unsigned char*>(key));
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdu;
    hash ^= hash >> 33;
    return hash;
  }

  static size_t slotOf(uint64_t hash, size_t slots) {
    return static_cast<size_t>((hash * 0x9e3779b97f4a7c15u) >> 32) & (slots - 1);
  }

  // Appends node to its chain; tails[b] is the last node of bucket b.
  static void linkAtTail(std::vector<Node*>& buckets, std::vector<Node*>& tails, Node* node) {
    size_t bucket = bucketOf(node->key.c_str(), buckets.size());
    node->next = nullptr;
    if (tails[bucket] == nullptr) {
      buckets[bucket] = node;
    } else {
      tails[bucket]->next = node;
    }
    tails[bucket] = node;
  }

  static void placeInIndex(std::vector<Slot>& index, uint64_t hash, Node* node) {
    size_t i = slotOf(hash, index.size());
    while (index[i].node != nullptr) i = (i + 1) & (index.size() - 1);
    index[i] = Slot{hash, node};
  }

  // Keeps the index at most half full, so a search meets an empty slot soon.
  void addToIndex(Node* node) {
    if ((static_cast<size_t>(entryCount_) + 1) * 2 > index_.size()) {
      std::vector<Slot> larger(index_.size() * 2);
      for (const Slot& slot : index_) {
        if (slot.node != nullptr) placeInIndex(larger, slot.hash, slot.node);
      }
      index_ = std::move(larger);
    }
    size_t length;
    placeInIndex(index_, indexHash(node->key.c_str(), &length), node);
  }

  void grow() {
    size_t count = static_cast<size_t>(entryCount_ / 2);
    std::vector<Node*> grown(count, nullptr);
    std::vector<Node*> grownTails(count, nullptr);
    for (Node* head : buckets_) {
      while (head != nullptr) {
        Node* next = head->next;
        linkAtTail(grown, grownTails, head);
        head = next;
      }
    }
    buckets_ = std::move(grown);
    tails_ = std::move(grownTails);
  }

  std::vector<std::unique_ptr<Node[]>> chunks_;
  size_t chunkSize_ = 0;  // nodes in the last chunk
  size_t chunkUsed_ = 0;  // of which in use
  std::vector<Node*> buckets_;
  std::vector<Node*> tails_;
  std::vector<Slot> index_;
  int32_t entryCount_ = 0;
};

#endif
