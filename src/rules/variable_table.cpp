#include "rules/variable_table.h"

#include <cstdio>
#include <utility>

#include "record/run_record.h"

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

namespace {

constexpr size_t kMaxNameLength = 255;

// ASCII only: the console's code page must not turn other bytes into letters.
bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string> expandVariables(const char* text, const VariableTable& table) {
  if (text == nullptr) return std::nullopt;
  std::string expanded(text);
  size_t dollar = expanded.find('$');
  while (dollar != std::string::npos) {
    size_t nameStart = dollar + 1;
    if (nameStart >= expanded.size() || !isAsciiLetter(expanded[nameStart])) {
      dollar = expanded.find('$', nameStart);
      continue;
    }
    size_t nameEnd = nameStart + 1;
    while (nameEnd < expanded.size() && nameEnd - nameStart < kMaxNameLength &&
           (isAsciiLetter(expanded[nameEnd]) || isAsciiDigit(expanded[nameEnd]))) {
      ++nameEnd;
    }
    std::string name = expanded.substr(nameStart, nameEnd - nameStart);
    const std::string* value = table.lookup(name.c_str());
    if (value == nullptr) runRecord.message("WARNING: $%s is not defined\n", name.c_str());
    std::string inserted = value != nullptr ? *value : std::string();
    expanded.replace(dollar, nameEnd - dollar, inserted);
    // The value is taken as it is: a "$" inside it starts no reference.
    dollar = expanded.find('$', dollar + inserted.size());
  }
  return expanded;
}
