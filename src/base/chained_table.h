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
#ifndef TARNWICK_BASE_CHAINED_TABLE_H
#define TARNWICK_BASE_CHAINED_TABLE_H

#include <cstdint>
#include <cstring>
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

  ChainedTable() : buckets_(kStartBuckets, nullptr) {}
  ~ChainedTable() { clear(); }
  ChainedTable(const ChainedTable&) = delete;
  ChainedTable& operator=(const ChainedTable&) = delete;

  /// The node holding key (compared byte for byte), or null.
  Node* find(const char* key) const {
    for (Node* node = buckets_[bucketOf(key, buckets_.size())]; node != nullptr;
         node = node->next) {
      if (node->key == key) return node;
    }
    return nullptr;
  }

  /// Adds a node for key, which must not be present, at the tail of its
  /// chain; may grow the table. Returns the new node.
  Node* insert(const char* key, Value value) {
    Node* node = new Node{key, std::move(value), nullptr};
    linkAtTail(buckets_, node);
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
    for (Node*& head : buckets_) {
      while (head != nullptr) {
        Node* next = head->next;
        delete head;
        head = next;
      }
    }
    buckets_.assign(kStartBuckets, nullptr);
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
  static constexpr size_t kStartBuckets = 10;

  static size_t bucketOf(const char* key, size_t count) { return hashKey(key) % count; }

  static void linkAtTail(std::vector<Node*>& buckets, Node* node) {
    Node** link = &buckets[bucketOf(node->key.c_str(), buckets.size())];
    while (*link != nullptr) link = &(*link)->next;
    node->next = nullptr;
    *link = node;
  }

  void grow() {
    std::vector<Node*> grown(static_cast<size_t>(entryCount_ / 2), nullptr);
    for (Node* head : buckets_) {
      while (head != nullptr) {
        Node* next = head->next;
        linkAtTail(grown, head);
        head = next;
      }
    }
    buckets_ = std::move(grown);
  }

  std::vector<Node*> buckets_;
  int32_t entryCount_ = 0;
};

#endif
