// The program's two output streams, written whole lines at a time from any thread (the console
// control handler runs on a thread of its own).
#pragma once

#include <ostream>
#include <string>

#include "platform/critical_section.h"

class ConsoleOutput {
 public:
  ConsoleOutput(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void Out(const std::string& text) { Write(out_, text); }
  void Err(const std::string& text) { Write(err_, text); }

 private:
  void Write(std::ostream& stream, const std::string& text) {
    platform::Lock guard(lock_);
    stream << text << std::flush;
  }

  platform::CriticalSection lock_;
  std::ostream& out_;
  std::ostream& err_;
};
