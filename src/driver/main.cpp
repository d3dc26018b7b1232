#include "driver/fatal.h"

int main(int argc, char** argv) {
  (void)argv;
  if (argc < 3) exitWithUsage("Insufficient arguments");
  // No mode runs yet: every other command line ends as one without a mode.
  exitWithUsage("Invalid mode");
}
