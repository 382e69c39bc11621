// The test-facing control of the simulated spooler's ports and their port monitors: the ports
// EnumPortsW lists, and what each port's monitor answers on its data channel
// (OpenPrinterW(",XcvPort <port>") and XcvDataW). A fresh machine has no ports.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "winhost/base.h"
#include "winhost/winspool.h"

namespace host {
namespace ports {

struct Port {
  std::wstring name;
  std::optional<std::wstring> monitor{};
  std::optional<std::wstring> description{};
  DWORD type = PORT_TYPE_WRITE;
};

// Adds a port; ports are enumerated in the order they were added.
void AddPort(const Port& port);
// Removes every port whose name matches (without regard to case).
void RemovePort(const std::wstring& name);

// The port's monitor answers "IPAddress" with `text` (status 0; a buffer too small for the text
// and its terminator gets status ERROR_INSUFFICIENT_BUFFER and is left untouched). Without an
// answer set, the monitor does not know the data name: status ERROR_INVALID_PARAMETER and the
// buffer untouched, as the Local Port monitor answers.
void AnswerIPAddress(const std::wstring& port, const std::wstring& text);
// The port's monitor answers "IPAddress" with a non-zero `status` and leaves the buffer untouched.
void FailIPAddress(const std::wstring& port, DWORD status);
// Opening the port's data channel fails with `error` (a monitor without a data channel, or one
// that refuses the access asked for).
void RefuseXcvOpen(const std::wstring& port, DWORD error);

// The desired access of every data-channel open so far (0 for null defaults), in order.
std::vector<DWORD> XcvOpenAccesses();

}  // namespace ports
}  // namespace host
