#include "address_parse.h"

#include <arpa/inet.h>

#include <cstdio>
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

bool ParseIPv4AsInetAddr(const std::string& text, uint8_t out[4]) {
  // inet_aton reads the same forms, but would also take blanks after them.
  if (text.empty() || text.find_first_not_of("0123456789abcdefABCDEFxX.") != std::string::npos) return false;
  in_addr parsed{};
  if (::inet_aton(text.c_str(), &parsed) == 0) return false;
  std::memcpy(out, &parsed, 4);
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
  uint16_t groups[8];
  for (int i = 0; i < 8; ++i) groups[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
  // Windows writes the last 32 bits dotted for the tunnelling forms: ISATAP (group 5 0x5efe,
  // group 4 0 or 0x200, any prefix), and with a zero first half and a non-zero group 6 the
  // compatible (::a.b.c.d), mapped (::ffff:a.b.c.d) and translated (::ffff:0:a.b.c.d) forms.
  bool isatap = groups[5] == 0x5EFE && (groups[4] == 0 || groups[4] == 0x200);
  bool zeroHalf = groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0;
  bool embedded = zeroHalf && groups[6] != 0 &&
                  ((groups[4] == 0 && (groups[5] == 0 || groups[5] == 0xFFFF)) || (groups[4] == 0xFFFF && groups[5] == 0));
  int hexGroups = isatap || embedded ? 6 : 8;

  // The longest run of two or more zero groups (the first of equal runs) becomes "::".
  int gap = -1;
  int gapLength = 1;
  for (int i = 0; i < hexGroups;) {
    int length = 0;
    while (i + length < hexGroups && groups[i + length] == 0) ++length;
    if (length > gapLength) {
      gap = i;
      gapLength = length;
    }
    i += length ? length : 1;
  }
  std::string text;
  char part[8];
  for (int i = 0; i < hexGroups;) {
    if (i == gap) {
      text += "::";
      i += gapLength;
      continue;
    }
    if (i > 0 && i != gap + gapLength) text += ':';
    std::snprintf(part, sizeof part, "%x", groups[i]);
    text += part;
    ++i;
  }
  if (hexGroups == 6) {
    if (gap + gapLength != 6) text += ':';
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", bytes[12], bytes[13], bytes[14], bytes[15]);
    text += dotted;
  }
  return text;
}

}  // namespace net
}  // namespace host
