#include "scan/hash_set.h"

int32_t HashSet::add(const char* key) {
  if (auto* node = table_.find(key)) return node->value++;
  table_.insert(key, 1);
  return 0;
}

int32_t HashSet::countOf(const char* key) const {
  auto* node = table_.find(key);
  return node == nullptr ? 0 : node->value;
}

std::vector<std::string> HashSet::keys() const {
  std::vector<std::string> result;
  result.reserve(static_cast<size_t>(table_.entryCount()));
  table_.forEach([&](const auto& node) { result.push_back(node.key); });
  return result;
}
