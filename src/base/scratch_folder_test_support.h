// A scratch folder for the unit tests that work with files, made in the
// system's temporary folder and removed at the test's end.
#ifndef TARNWICK_BASE_SCRATCH_FOLDER_TEST_SUPPORT_H
#define TARNWICK_BASE_SCRATCH_FOLDER_TEST_SUPPORT_H

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

/// A fresh, empty folder named prefix and a random number, which no other
/// test (or run of the tests at once) shares. The caller removes it.
inline std::filesystem::path makeScratchFolder(const std::string& prefix) {
  std::random_device random;
  const std::filesystem::path temp = std::filesystem::temp_directory_path();
  std::filesystem::path folder;
  do {
    folder = temp / (prefix + std::to_string(random()));
  } while (!std::filesystem::create_directory(folder));
  return folder;
}

/// Removes folder and everything in it; what cannot be removed is left.
inline void removeScratchFolder(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

#endif
