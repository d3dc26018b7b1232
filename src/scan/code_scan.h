#ifndef TARNWICK_SCAN_CODE_SCAN_H
#define TARNWICK_SCAN_CODE_SCAN_H

/// Prints "Scanning <path>...", then every message code found at the start
/// of a line of the file with the number of lines beginning with it, in the
/// count table's order. Ends the run when the file does not open.
void scanCodes(const char* path);

#endif
