#include "net/ip_address.h"

#include <cstring>
#include <cwchar>
#include <sstream>
#include <vector>

namespace {

size_t ByteCount(AddressKind kind) { return kind == AddressKind::IPv4 ? 4 : kind == AddressKind::IPv6 ? 16 : 0; }

// Reads a decimal integer as a wide input stream does: leading blanks skipped, reading stops at
// the first character that does not belong to the number.
bool ReadInteger(const std::wstring& text, int* value) {
  std::wistringstream in(text);
  in >> *value;
  return !in.fail();
}

// Reads a scope ID the same way, as an unsigned 32-bit number: a larger or negative one fails.
bool ReadScopeId(const std::wstring& text) {
  std::wistringstream in(text);
  unsigned long long value = 0;
  in >> value;
  return !in.fail() && value <= 0xFFFFFFFFull;
}

// Splits at every ':' and drops the empty pieces.
std::vector<std::wstring> Groups(const std::wstring& text) {
  std::vector<std::wstring> groups;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L':', start);
    if (end == std::wstring::npos) end = text.size();
    if (end > start) groups.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return groups;
}

// The socket library's conversion of `text` into a socket address of `family`.
bool Convert(const wchar_t* text, INT family, void* address, INT length) {
  if (!text) return false;
  // The conversion takes a writable text; it gets a copy.
  std::vector<wchar_t> copy(text, text + std::wcslen(text) + 1);
  return WSAStringToAddressW(copy.data(), family, nullptr, static_cast<LPSOCKADDR>(address), &length) == 0;
}

}  // namespace

IPAddress::IPAddress() = default;

IPAddress::IPAddress(const wchar_t* text) : text_(text ? text : L"") {
  if (IsIPv4Text(text_.c_str())) {
    auto bytes = std::make_unique<unsigned char[]>(4);
    if (ParseIPv4(text_.c_str(), bytes.get())) {
      addressBytes_ = std::move(bytes);
      valid_ = true;
      kind_ = AddressKind::IPv4;
    }
  } else if (IsIPv6Text(text_.c_str())) {
    auto bytes = std::make_unique<unsigned char[]>(16);
    if (ParseIPv6(text_.c_str(), bytes.get())) {
      addressBytes_ = std::move(bytes);
      valid_ = true;
      kind_ = AddressKind::IPv6;
    }
  }
}

IPAddress::IPAddress(const IPAddress& other) : text_(other.text_), valid_(other.valid_), kind_(other.kind_) {
  if (other.addressBytes_) {
    addressBytes_ = std::make_unique<unsigned char[]>(ByteCount(other.kind_));
    std::memcpy(addressBytes_.get(), other.addressBytes_.get(), ByteCount(other.kind_));
  }
}

IPAddress& IPAddress::operator=(const IPAddress& source) {
  if (!source.valid_ || !source.addressBytes_ || source.text_.empty()) return *this;
  // Copies first, so that assigning a value to itself keeps it whole.
  std::wstring text = source.text_;
  size_t count = ByteCount(source.kind_);
  auto bytes = std::make_unique<unsigned char[]>(count);
  std::memcpy(bytes.get(), source.addressBytes_.get(), count);
  text_ = std::move(text);
  addressBytes_ = std::move(bytes);
  valid_ = true;
  kind_ = source.kind_;
  return *this;
}

IPAddress::~IPAddress() = default;

bool IPAddress::IsIPv4Text(const wchar_t* text) {
  if (!text) return false;
  unsigned a = 0, b = 0, c = 0, d = 0, port = 0;
  wchar_t separator = 0, extra = 0;
  int fields = std::swscanf(text, L"%3u.%3u.%3u.%3u%lc%u%lc", &a, &b, &c, &d, &separator, &port, &extra);
  if (fields != 4 && !(fields == 6 && separator == L':')) return false;
  if ((a | b | c | d) > 255 || port > 65535) return false;
  // The scan skips white space and takes signs; only digits, dots and colons are allowed.
  return std::wcsspn(text, L"0123456789.:") == std::wcslen(text);
}

bool IPAddress::IsIPv6Text(const wchar_t* text) {
  if (!text) return false;
  std::wstring copy = text;

  // Brackets.
  if (copy.size() > 2 && copy.front() == L'[' && copy.back() == L']') copy = copy.substr(1, copy.size() - 2);
  if (copy.size() < 2) return false;

  // Prefix length, or else scope.
  size_t slash = copy.rfind(L'/');
  if (slash != std::wstring::npos) {
    int prefix = 0;
    if (!ReadInteger(copy.substr(slash + 1), &prefix) || static_cast<unsigned>(prefix) > 128) return false;
    copy.erase(slash);
  } else {
    size_t percent = copy.rfind(L'%');
    if (percent != std::wstring::npos) {
      if (!ReadScopeId(copy.substr(percent + 1))) return false;
      copy.erase(percent);
    }
  }

  // Embedded IPv4 part.
  size_t lastColon = copy.rfind(L':');
  if (lastColon == std::wstring::npos) return false;
  bool embedded = false;
  std::wstring tail = copy.substr(lastColon + 1);
  if (tail.find(L'.') != std::wstring::npos) {
    if (!IsIPv4Text(tail.c_str()) || lastColon == 0) return false;
    copy.erase(copy[lastColon - 1] == L':' ? lastColon + 1 : lastColon);
    embedded = true;
  }

  // Compression: "@" marks the compressed run; only one is allowed.
  if (copy.size() < 2) return false;
  const size_t before = copy.size();
  for (size_t at = copy.find(L"::"); at != std::wstring::npos; at = copy.find(L"::", at)) copy.replace(at, 2, L":@:");
  if (copy.size() > before + 1) return false;
  if (copy.size() >= 2 && copy[1] == L'@') copy.erase(0, 1);
  if (copy.size() >= 2 && copy[copy.size() - 2] == L'@') copy.pop_back();
  if (copy.size() > 2 && (copy.front() == L':' || copy.back() == L':')) return false;

  // Groups.
  const size_t most = embedded ? 6 : 8;
  std::vector<std::wstring> groups = Groups(copy);
  if (groups.size() > most) return false;
  bool compressed = false;
  for (const std::wstring& group : groups) {
    if (group == L"@") {
      compressed = true;
    } else if (group.size() > 4) {
      return false;
    }
  }
  return compressed || groups.size() == most;
}

bool IPAddress::ParseIPv4(const wchar_t* text, unsigned char out[4]) {
  sockaddr_in address{};
  if (!Convert(text, AF_INET, &address, static_cast<INT>(sizeof address))) return false;
  std::memcpy(out, &address.sin_addr, 4);
  return true;
}

bool IPAddress::ParseIPv6(const wchar_t* text, unsigned char out[16]) {
  sockaddr_in6 address{};
  if (!Convert(text, AF_INET6, &address, static_cast<INT>(sizeof address))) return false;
  std::memcpy(out, &address.sin6_addr, 16);
  return true;
}
