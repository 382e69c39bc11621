// Address texts: the IPv4 and IPv6 text tests and the socket library's conversions, the
// address value's copies and assignment, ValidIPAddress, and ResolveHostname into a buffer of
// exactly 256 characters, with the name service answering addresses taken from the input.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "host/network.h"
#include "net/address_resolution.h"
#include "net/ip_address.h"
#include "platform/win32.h"

namespace {

using fuzzing::Check;

size_t ByteCount(const IPAddress& address) { return address.kind() == AddressKind::IPv4 ? 4 : 16; }

bool SameValue(const IPAddress& a, const IPAddress& b) {
  if (a.text() != b.text() || a.valid() != b.valid() || a.kind() != b.kind()) return false;
  if ((a.addressBytes() == nullptr) != (b.addressBytes() == nullptr)) return false;
  return !a.addressBytes() || std::memcmp(a.addressBytes(), b.addressBytes(), ByteCount(a)) == 0;
}

// A value is valid exactly when its text passed its test and the conversion; its bytes are the
// conversion's.
void CheckValue(const IPAddress& address, const std::wstring& text) {
  Check(address.text() == text, "the value keeps its text");
  if (!address.valid()) {
    Check(address.addressBytes() == nullptr && address.kind() == AddressKind::None, "no bytes when not valid");
    return;
  }
  Check(address.addressBytes() != nullptr, "bytes when valid");
  unsigned char bytes[16] = {};
  if (address.kind() == AddressKind::IPv4) {
    Check(IPAddress::IsIPv4Text(text.c_str()) && IPAddress::ParseIPv4(text.c_str(), bytes), "IPv4 value of IPv4 text");
  } else {
    Check(address.kind() == AddressKind::IPv6, "a valid value has a kind");
    Check(IPAddress::IsIPv6Text(text.c_str()) && IPAddress::ParseIPv6(text.c_str(), bytes), "IPv6 value of IPv6 text");
  }
  Check(std::memcmp(bytes, address.addressBytes(), ByteCount(address)) == 0, "the value's bytes are the conversion's");
}

void CheckCopies(const std::wstring& text, const std::wstring& other) {
  WSADATA data;
  Check(WSAStartup(MAKEWORD(2, 2), &data) == 0, "the socket library starts");
  IPAddress address(text.c_str());
  CheckValue(address, text);
  IPAddress copy(address);
  Check(SameValue(copy, address), "a copy is the same value");
  Check(!copy.addressBytes() || copy.addressBytes() != address.addressBytes(), "a copy has bytes of its own");

  IPAddress target(other.c_str());
  IPAddress before(target);
  target = address;
  bool takes = address.valid() && !address.text().empty();
  Check(SameValue(target, takes ? address : before), "assignment takes a valid value only");
  IPAddress& self = target;
  target = self;
  Check(SameValue(target, takes ? address : before), "assignment to itself keeps the value");
  WSACleanup();
}

constexpr size_t kOutChars = 256;
constexpr wchar_t kPoison = 0xABCD;

void CheckResolution(const std::wstring& host) {
  bool valid = ValidIPAddress(host.c_str());
  fuzzing::CheckNothingLeftOpen("ValidIPAddress");

  // Exactly 256 characters on the heap, so a write past them is caught.
  std::unique_ptr<wchar_t[]> out(new wchar_t[kOutChars]);
  std::fill(out.get(), out.get() + kOutChars, kPoison);
  int resolved = ResolveHostname(host.c_str(), out.get());
  fuzzing::CheckNothingLeftOpen("ResolveHostname");
  size_t length = 0;
  while (length < kOutChars && out[length] != L'\0') ++length;
  if (resolved == 1) {
    Check(length < kOutChars, "a resolved text ends inside the buffer");
  } else {
    Check(resolved == 0, "ResolveHostname gives 1 or 0");
    Check(std::all_of(out.get(), out.get() + kOutChars, [](wchar_t c) { return c == kPoison; }),
          "a failed resolution leaves the buffer untouched");
  }
  if (valid) Check(resolved == 1 && length > 0, "a valid host resolves to an address text");

  // The host text in the output buffer itself.
  if (host.size() < kOutChars && host.find(L'\0') == std::wstring::npos) {
    std::unique_ptr<wchar_t[]> same(new wchar_t[kOutChars]);
    std::fill(same.get(), same.get() + kOutChars, kPoison);
    std::wmemcpy(same.get(), host.c_str(), host.size() + 1);
    int again = ResolveHostname(same.get(), same.get());
    fuzzing::CheckNothingLeftOpen("ResolveHostname in place");
    Check(again == resolved, "resolving in place gives the same result");
    if (again == 1) Check(std::wcscmp(same.get(), out.get()) == 0, "resolving in place gives the same text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FreshMachine();
  fuzzing::InputReader in(data, size);
  uint8_t setup = in.U8();
  std::wstring text = in.ShortWideText();
  std::wstring other = in.ShortWideText();
  std::vector<std::string> addresses;
  for (int count = in.U8() % 4; count > 0; --count) addresses.push_back(in.ShortBytes());

  // The name service knows the text (when it is ASCII) with the input's addresses, or fails it.
  std::string name;
  for (wchar_t c : text) name.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '?');
  if (setup & 1) host::network::SetHostAddresses(name, addresses);
  if (setup & 2) host::network::SetHostFailure(name, WSATRY_AGAIN);
  switch ((setup >> 2) & 3) {
    case 1: host::network::SetInstalledFamilies({AF_INET}); break;
    case 2: host::network::SetInstalledFamilies({AF_INET6}); break;
    case 3: host::network::SetInstalledFamilies({AF_INET6, AF_INET}); break;
    default: break;
  }

  // Texts end at their first zero character, as the program sees them.
  text = text.c_str();
  other = other.c_str();
  IPAddress::IsIPv4Text(text.c_str());
  IPAddress::IsIPv6Text(text.c_str());
  CheckCopies(text, other);
  fuzzing::CheckNothingLeftOpen("the address value");
  CheckResolution(text);
  return 0;
}
