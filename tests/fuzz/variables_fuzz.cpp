// libFuzzer target for variable expansion: the input is definitions, one a
// line ("name=value", or a name alone for a null value), then a NUL and the
// text to expand. Expansion and its warnings must be what a plain reference
// gives, and the table must keep names and values like a map.
#include <map>
#include <optional>

#include "fuzz_support.h"
#include "record/run_record.h"
#include "rules/variable_table.h"

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isLetterOrDigit(char c) { return isLetter(c) || (c >= '0' && c <= '9'); }

using Reference = std::map<std::string, std::optional<std::string>>;

/// Warnings reach the user through the run record, not stdout.
struct MessageCollector : RunListener {
  std::string text;
  void message(const char* message, size_t length) override { text.append(message, length); }
};

MessageCollector& messages() {
  static MessageCollector* collector = [] {
    auto* created = new MessageCollector;
    runRecord.addListener(created);
    return created;
  }();
  return *collector;
}

/// Walks the text once, copying it and replacing each reference.
std::string referenceExpansion(const std::string& text, const Reference& values,
                               std::string& warnings) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '$' || i + 1 == text.size() || !isLetter(text[i + 1])) {
      out += text[i++];
      continue;
    }
    size_t end = i + 2;
    while (end < text.size() && end - i - 1 < 255 && isLetterOrDigit(text[end])) ++end;
    std::string name = text.substr(i + 1, end - i - 1);
    auto found = values.find(name);
    if (found != values.end() && found->second) {
      out += *found->second;
    } else {
      warnings += "WARNING: $" + name + " is not defined\n";
    }
    i = end;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputBytes input(data, size);
  std::string bytes = input.rest();
  size_t split = bytes.find('\0');
  std::string definitions = bytes.substr(0, split);
  std::string text = split == std::string::npos ? "" : bytes.substr(split + 1);
  // The text is a C string.
  text = text.substr(0, text.find('\0'));

  VariableTable table;
  Reference values;
  for (size_t start = 0; start <= definitions.size();) {
    size_t end = definitions.find('\n', start);
    if (end == std::string::npos) end = definitions.size();
    std::string line = definitions.substr(start, end - start);
    size_t equals = line.find('=');
    std::string name = line.substr(0, equals);
    std::optional<std::string> value;
    if (equals != std::string::npos) value = line.substr(equals + 1);
    auto known = values.find(name);
    std::optional<std::string> previous = table.define(name.c_str(), value);
    if (known != values.end() ? previous != known->second : previous.has_value()) std::abort();
    values[name] = value;
    start = end + 1;
  }
  for (const auto& [name, value] : values) {
    const std::string* stored = table.lookup(name.c_str());
    if (value ? stored == nullptr || *stored != *value : stored != nullptr) std::abort();
  }
  if (table.entryCount() != static_cast<int32_t>(values.size())) std::abort();

  std::string expectedWarnings;
  std::string expected = referenceExpansion(text, values, expectedWarnings);
  messages().text.clear();
  std::optional<std::string> expanded = expandVariables(text.c_str(), table);
  if (!expanded || *expanded != expected || messages().text != expectedWarnings) std::abort();
  return 0;
}
