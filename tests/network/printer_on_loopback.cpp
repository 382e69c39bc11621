#include "printer_on_loopback.h"

#include <functional>

#include "engine/engine_context.h"

namespace testing_support {

PrinterOnLoopback::PrinterOnLoopback(simprinter::PrinterSettings settings, bool acceptNothing)
    : printer_(std::move(settings)), server_(printer_) {
  if (acceptNothing) server_.AcceptNothing();
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  size_t hash = std::hash<std::string>{}(std::string(test->test_suite_name()) + "." + test->name());
  // Another program may hold the address: try the following ones.
  std::string error;
  for (int attempt = 0; attempt < 16; ++attempt, hash += 0x10000) {
    address_ = "127." + std::to_string(100 + hash % 100) + "." + std::to_string((hash >> 8) % 256) + "." +
               std::to_string(1 + (hash >> 16) % 254);
    if (server_.Start(address_, 9100, &error)) return;
  }
  ADD_FAILURE() << "no free loopback address for the printer: " << error;
}

PrinterOnLoopback::~PrinterOnLoopback() { server_.Stop(); }

void PrinterOnLoopback::LoadContext() const {
  std::wstring wide(address_.begin(), address_.end());
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, wide.c_str()), 1);
}

}  // namespace testing_support
