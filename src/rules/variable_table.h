#ifndef TARNWICK_RULES_VARIABLE_TABLE_H
#define TARNWICK_RULES_VARIABLE_TABLE_H

#include <optional>
#include <string>

#include "base/chained_table.h"

/// The "-D" variables: names to values, one node per name. Main thread only.
class VariableTable {
 public:
  /// Sets name to value (nullopt is a null value). Returns the previous
  /// value when name was defined already, nullopt when a node was added.
  std::optional<std::string> define(const char* name, std::optional<std::string> value);

  /// The value of name, or null when it is undefined or its value is null.
  /// The pointer lives until name is defined again.
  const std::string* lookup(const char* name) const;

  /// Forgets every name: the table is as new.
  void clear() { table_.clear(); }

  int32_t bucketCount() const { return table_.bucketCount(); }
  int32_t entryCount() const { return table_.entryCount(); }

 private:
  ChainedTable<std::optional<std::string>> table_;
};

/// The process-wide table that "-Dname=value" fills.
extern VariableTable variables;

/// text with every "$name" reference replaced by the value of name in table;
/// nullopt for null text. A name is an ASCII letter followed by letters and
/// digits, 255 characters at most. Reports "WARNING: $<name> is not defined"
/// to the run record for each reference to an undefined name, which expands
/// to nothing. An inserted value is never expanded again; a "$" that does not
/// start a name stays as it is.
std::optional<std::string> expandVariables(const char* text,
                                           const VariableTable& table = variables);

#endif
