#include "address_parse.h"

#include <arpa/inet.h>

#include <cstring>

namespace host {
namespace net {
namespace {

// A decimal number of at most `limit`.
bool ParseDecimal(const std::string& text, unsigned long long limit, unsigned long long* value) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  unsigned long long parsed = std::stoull(text);
  if (parsed > limit) return false;
  *value = parsed;
  return true;
}

}  // namespace

bool ParseDottedIPv4(const std::string& text, uint8_t out[4]) {
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    size_t end = part < 3 ? text.find('.', start) : text.size();
    if (end == std::string::npos) return false;
    unsigned long long value = 0;
    std::string digits = text.substr(start, end - start);
    if (digits.size() > 3 || !ParseDecimal(digits, 255, &value)) return false;
    out[part] = static_cast<uint8_t>(value);
    start = end + 1;
  }
  return true;
}

bool ParseIPv6WithScope(const std::string& text, uint8_t out[16], uint32_t* scope) {
  std::string address = text;
  unsigned long long scopeValue = 0;
  size_t percent = text.find('%');
  if (percent != std::string::npos) {
    if (!ParseDecimal(text.substr(percent + 1), 0xFFFFFFFFull, &scopeValue)) return false;
    address = text.substr(0, percent);
  }
  // inet_pton knows the same forms as Windows' reader (compression, embedded IPv4) and accepts
  // no blanks or other characters around them.
  in6_addr parsed;
  if (::inet_pton(AF_INET6, address.c_str(), &parsed) != 1) return false;
  std::memcpy(out, &parsed, 16);
  *scope = static_cast<uint32_t>(scopeValue);
  return true;
}

std::string IPv6Text(const uint8_t bytes[16]) {
  char text[INET6_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET6, bytes, text, sizeof text);
  return text;
}

}  // namespace net
}  // namespace host
