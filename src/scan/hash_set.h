#ifndef TARNWICK_SCAN_HASH_SET_H
#define TARNWICK_SCAN_HASH_SET_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/chained_table.h"

/// Counts string keys; lists them in the table's own order. One thread.
class HashSet {
 public:
  virtual ~HashSet() = default;

  /// Raises key's count by one (a new key gets 1); returns the count before.
  /// key is copied.
  int32_t add(const char* key);
  /// The count of key, 0 when absent.
  int32_t countOf(const char* key) const;
  /// Copies of every key in table order: by bucket, then chain order.
  std::vector<std::string> keys() const;
  /// Calls visit(key, count) for every key in table order, without the
  /// copies and lookups that keys() and countOf would take.
  template <typename Visit>
  void forEach(Visit visit) const {
    table_.forEach([&](const auto& node) { visit(node.key, node.value); });
  }

  int32_t bucketCount() const { return table_.bucketCount(); }
  int32_t entryCount() const { return table_.entryCount(); }

 private:
  ChainedTable<int32_t> table_;
};

#endif
