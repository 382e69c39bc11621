#include "net/address_resolution.h"

#include <cwchar>
#include <string>

#include "diag/diag_log.h"
#include "net/ip_address.h"
#include "net/network.h"

namespace {

constexpr size_t kOutChars = 256;

}  // namespace

bool ValidIPAddress(const wchar_t* host) {
  DiagLog::Write(L"ValidIPAddress(%ls)", host ? host : L"(null)");
  if (!host) {
    DiagLog::Write(L"HostName address is NULL");
    return false;
  }
  if (!*host) {
    DiagLog::Write(L"HostName address is empty");
    return false;
  }
  std::wstring copy = host;
  IPAddress address;
  Network network;
  if (GetIpAddrFromHostName(copy, address) != 0) {
    DiagLog::Write(L"Unable to resolve host name address");
    return false;
  }
  if (!address.valid()) {
    DiagLog::Write(L"IP address %ls is not a valid ip address", address.text().c_str());
    return false;
  }
  DiagLog::Write(L"IPAddress %ls IS VALID", address.text().c_str());
  return true;
}

int ResolveHostname(const wchar_t* host, wchar_t* out) {
  DiagLog::Write(L"ResolveHostname(%ls)", host ? host : L"(null)");
  if (!host || !out) return 0;
  // A copy, because `out` may be the very buffer that holds the host.
  std::wstring copy = host;
  IPAddress address;
  Network network;
  if (GetIpAddrFromHostName(copy, address) != 0) return 0;
  // An address text has at most 38 characters; anything longer is refused, never cut.
  const std::wstring& text = address.text();
  if (text.size() >= kOutChars) return 0;
  std::wmemcpy(out, text.c_str(), text.size() + 1);
  DiagLog::Write(L"Resolved host name address to %ls", out);
  return 1;
}
