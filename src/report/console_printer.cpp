#include "report/console_printer.h"

#include <cstring>

#include "platform/text_output.h"

void ConsolePrinter::logStarted(const char* path, LogKind kind) {
  // The tool's streams are not opened: their lines are echoed as they come.
  if (isToolStream(kind)) return;
  std::fprintf(stream_, "Processing %s...\n", path);
}

void ConsolePrinter::lineClassified(const ClassifiedLine& line) {
  const char* prefix;
  if (line.lineClass == LineClass::failure) {
    prefix = "failure: ";
  } else if (line.lineClass == LineClass::unmatched) {
    prefix = "unmatched: ";
  } else {
    return;
  }
  // The tool's own lines were echoed as they came.
  if (isToolStream(line.logKind)) return;
  if (debug_) std::fputs(prefix, stream_);
  // Written by length, not through "%s": nothing on this path needs strlen,
  // and a line of 2 GiB or more goes out whole.
  size_t shown = line.printedLength();
  // Lines of a log file are printed by the main thread or by the thread
  // that reads the tool's stdout (a server log), which also does that
  // stream's echo. The other reader writes this stream only through the
  // record, whose lock the printing thread then holds.
  writeLineUnlocked(stream_, line.printedText(), shown);
}

void ConsolePrinter::message(const char* text, size_t length) {
  std::fwrite(text, 1, length, stream_);
}
