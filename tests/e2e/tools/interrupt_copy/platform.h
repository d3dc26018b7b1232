// What interrupt_copy needs from the system, one file per platform.
#ifndef TARNWICK_TESTS_E2E_TOOLS_INTERRUPT_COPY_PLATFORM_H
#define TARNWICK_TESTS_E2E_TOOLS_INTERRUPT_COPY_PLATFORM_H

#include <string>
#include <vector>

/// A program this one started.
class Child {
 public:
  Child() = default;
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  /// Starts program with args, its input and output on the null device.
  bool start(const std::string& program, const std::vector<std::string>& args);
  /// Its process id, as it sees its own.
  unsigned long id() const { return id_; }
  /// True once it has ended (it is then waited for).
  bool ended();
  /// Ends it at once, with no chance to clean up, and waits for it.
  void kill();

 private:
  unsigned long id_ = 0;
  void* handle_ = nullptr;  // Windows: its process handle
  bool ended_ = false;
};

#endif
