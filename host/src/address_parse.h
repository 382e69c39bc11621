// Address texts read and written inside the host's network services. Kept apart from the
// Windows Sockets files because the POSIX and Windows declarations of in6_addr and friends
// cannot meet in one file.
#pragma once

#include <cstdint>
#include <string>

namespace host {
namespace net {

// Dotted IPv4 text of four decimal parts ("192.168.1.10"), nothing else around it.
bool ParseDottedIPv4(const std::string& text, uint8_t out[4]);
// IPv4 text as inet_addr reads it: one to four parts, each decimal, octal (leading 0) or
// hexadecimal (0x), the last filling the bytes that remain; nothing else around it.
bool ParseIPv4AsInetAddr(const std::string& text, uint8_t out[4]);
// IPv6 text with an optional "%scope" (decimal), nothing else around it.
bool ParseIPv6WithScope(const std::string& text, uint8_t out[16], uint32_t* scope);
// IPv6 text as Windows writes it: lower case, the longest run of two or more zero groups
// compressed, and the last 32 bits dotted for the IPv4-compatible, -mapped and -translated
// forms and for ISATAP addresses.
std::string IPv6Text(const uint8_t bytes[16]);

}  // namespace net
}  // namespace host
