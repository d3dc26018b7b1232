#include "driver/help.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(HelpTest, OnlyALoneHelpOrVersionIsARequest) {
  struct Row {
    std::vector<const char*> args;  // after the program name
    InformationRequest expected;
  };
  const Row rows[] = {
      {{"--help"}, InformationRequest::help},
      {{"--version"}, InformationRequest::version},
      {{}, InformationRequest::none},
      {{"--help", "--version"}, InformationRequest::none},
      {{"--version", "-log"}, InformationRequest::none},
      {{"-log", "--help"}, InformationRequest::none},
      {{"-help"}, InformationRequest::none},
      {{"-version"}, InformationRequest::none},
      {{"--HELP"}, InformationRequest::none},
      {{"--help="}, InformationRequest::none},
      {{"--versio"}, InformationRequest::none},
      {{""}, InformationRequest::none},
  };
  for (const Row& row : rows) {
    std::vector<const char*> argv = {"tarnwick"};
    argv.insert(argv.end(), row.args.begin(), row.args.end());
    argv.push_back(nullptr);
    EXPECT_EQ(informationRequest(static_cast<int>(argv.size()) - 1, argv.data()), row.expected)
        << (row.args.empty() ? "(none)" : row.args[0]) << " and " << row.args.size() - 1 << " more";
  }
}

}  // namespace
