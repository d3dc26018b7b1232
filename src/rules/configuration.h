// The XML configuration file named by "-cfg": the base folder and every
// rule of the run.
#ifndef TARNWICK_RULES_CONFIGURATION_H
#define TARNWICK_RULES_CONFIGURATION_H

#include <string>
#include <vector>

class TiXmlDocument;
class TiXmlElement;

/// Fills the empty ruleSet from the XML file at path, expanding "$name" in
/// "dst", "file" and include attributes. An "include" child of the root
/// reads another file (relative to the including one's folder) whose rules
/// come at its place; a file included again adds nothing. A root setting
/// (basedir, logfile, stripansi, strictoptions, maxfailures, maxunmatched)
/// comes from the nearest file that has it: the including file's own, then
/// its includes in document order, depth first. A single file's first
/// summary rule is its only one; with includes every summary rule counts.
/// Ends the run with "Error Parsing XML ..." on a file that does not load or
/// parse (an included one named), on a cycle of includes, on includes
/// nested more than 8 deep, on a gate attribute that is no number and on a
/// "list" without "file"; prints the append warning and, under -debug, one
/// line per list rule. Main thread, once, after the whole command line has
/// been read.
void loadConfiguration(const char* path);

/// The files the configuration included, as they were opened, in the order
/// they were read; empty for one file alone. Main thread, after
/// loadConfiguration.
const std::vector<std::string>& includedConfigurationFiles();

/// The element at path, a "/"-separated list of element names (empty names
/// are skipped), each the first child element of that name of the one
/// before, starting at document; null as soon as one is missing. Points
/// into document.
const TiXmlElement* findElement(const TiXmlDocument& document, const char* path);

/// The root's "basedir" attribute when present (even empty), else the text
/// of its first "basedir" child element, else null. Points into the document.
const char* readBasedir(const TiXmlElement& root);

/// The yes/no attribute name of element: true when its value begins with
/// t, T, y or Y; false for any other value, the empty one included;
/// defaultValue when the attribute is absent.
bool attributeFlag(const TiXmlElement& element, const char* name, bool defaultValue);

#endif
