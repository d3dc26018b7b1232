#ifndef TARNWICK_RULES_XML_DEPTH_H
#define TARNWICK_RULES_XML_DEPTH_H

#include <string>

/// Where an XML text first nests elements deeper than a limit.
struct NestingReport {
  bool tooDeep = false;
  int row = 0;     // 1-based, of the start tag that went too deep
  int column = 0;  // 1-based
};

/// Scans text for element nesting deeper than limit, skipping comments,
/// CDATA sections, declarations and quoted attribute values. Malformed text
/// is not judged: what the scan cannot follow it leaves to the parser.
NestingReport findDeepNesting(const std::string& text, int limit);

#endif
