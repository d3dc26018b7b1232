#include "rules/variable_table.h"

#include <utility>

VariableTable variables;

std::optional<std::string> VariableTable::define(const char* name,
                                                 std::optional<std::string> value) {
  if (auto* node = table_.find(name)) {
    std::optional<std::string> previous = std::move(node->value);
    node->value = std::move(value);
    return previous;
  }
  table_.insert(name, std::move(value));
  return std::nullopt;
}

const std::string* VariableTable::lookup(const char* name) const {
  auto* node = table_.find(name);
  if (node == nullptr || !node->value) return nullptr;
  return &*node->value;
}
