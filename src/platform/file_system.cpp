#include "platform/file_system.h"

#include <string>

namespace {

/// Longest part of the target's name kept in a temporary name: with the
/// added ".", ".tarnwick-", a process id and ".tmp" it stays below the 255
/// bytes that common file systems allow for one name.
constexpr size_t kKeptNameLength = 200;

}  // namespace

std::string temporaryCopyName(const std::string& target, unsigned long processId) {
  size_t nameStart = target.size();
  while (nameStart > 0 && !isFolderSeparator(target[nameStart - 1])) --nameStart;
  size_t nameLength = target.size() - nameStart;
  if (nameLength > kKeptNameLength) {
    nameLength = kKeptNameLength;
    // Never cut a UTF-8 sequence: back up to the start of a character.
    while (nameLength > 0 &&
           (static_cast<unsigned char>(target[nameStart + nameLength]) & 0xC0) == 0x80) {
      --nameLength;
    }
  }
  return target.substr(0, nameStart) + "." + target.substr(nameStart, nameLength) + ".tarnwick-" +
         std::to_string(processId) + ".tmp";
}
