// What the program says about itself: the banner, the usage text, and the
// answers to a lone --help or --version.
#ifndef TARNWICK_DRIVER_HELP_H
#define TARNWICK_DRIVER_HELP_H

/// A request for information instead of a run.
enum class InformationRequest { none, help, version };

/// --help or --version as the only argument; anything else is a run (or a
/// command-line error) and yields none.
InformationRequest informationRequest(int argc, const char* const* argv);

/// Prints the answer on stdout when the command line is such a request (for
/// --help the banner, the usage text and the list of options);
/// returns whether it was one (the run is then over, with status 0).
bool answerInformationRequest(int argc, const char* const* argv);

/// "Tarnwick version <version>" and a line end.
void printBanner();

/// The usage lines, as printed after the banner.
void printUsage();

#endif
