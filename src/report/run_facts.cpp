#include "report/run_facts.h"

void RunFacts::listingEntryWritten(const char* listingPath) {
  for (auto& listing : listings) {
    if (listing.first == listingPath) {
      ++listing.second;
      return;
    }
  }
  listings.emplace_back(listingPath, 1);
}
