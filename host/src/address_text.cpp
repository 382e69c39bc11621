// Conversions between socket addresses and their numeric texts: WSAAddressToStringW,
// WSAStringToAddressW and inet_ntoa.
#include <cstdio>
#include <cstring>
#include <string>

#include "address_parse.h"
#include "host/machine.h"
#include "host/sockets.h"
#include "internal.h"
#include "winhost/kernel.h"
#include "winhost/ws2tcpip.h"


namespace {

std::string AddressText(const sockaddr* address, DWORD length, bool* ok) {
  *ok = false;
  if (address->sa_family == AF_INET) {
    if (length < sizeof(sockaddr_in)) return {};
    sockaddr_in in;
    std::memcpy(&in, address, sizeof in);
    const auto* b = reinterpret_cast<const unsigned char*>(&in.sin_addr);
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    std::string result = text;
    if (in.sin_port != 0) result += ":" + std::to_string(ntohs(in.sin_port));
    *ok = true;
    return result;
  }
  if (address->sa_family == AF_INET6) {
    if (length < sizeof(sockaddr_in6)) return {};
    sockaddr_in6 in6;
    std::memcpy(&in6, address, sizeof in6);
    std::string result = host::net::IPv6Text(in6.sin6_addr.u.Byte);
    if (in6.sin6_scope_id != 0) result += "%" + std::to_string(in6.sin6_scope_id);
    if (in6.sin6_port != 0) result = "[" + result + "]:" + std::to_string(ntohs(in6.sin6_port));
    *ok = true;
    return result;
  }
  return {};
}

// A port as C reads a number: "0x" and hexadecimal digits, a leading 0 and octal digits, or
// decimal digits; 1 to 65535 and nothing after it.
bool ParsePort(const std::string& text, unsigned long* port) {
  size_t i = 0;
  unsigned base = 10;
  if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  } else if (!text.empty() && text[0] == '0') {
    base = 8;
  }
  if (i >= text.size()) return false;
  unsigned long value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    unsigned digit = c >= '0' && c <= '9' ? static_cast<unsigned>(c - '0')
                     : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                     : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                            : 16;
    if (digit >= base) return false;
    value = value * base + digit;
    if (value > 0xFFFF) return false;
  }
  if (value == 0) return false;
  *port = value;
  return true;
}

bool ParseIPv4WithPort(const std::string& text, sockaddr_in* out) {
  std::string address = text;
  unsigned long port = 0;
  size_t colon = text.find(':');
  if (colon != std::string::npos) {
    if (!ParsePort(text.substr(colon + 1), &port)) return false;
    address = text.substr(0, colon);
  }
  uint8_t bytes[4];
  if (!host::net::ParseIPv4AsInetAddr(address, bytes)) return false;
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<u_short>(port));
  std::memcpy(&out->sin_addr, bytes, 4);
  return true;
}

bool ParseIPv6WithPort(const std::string& text, sockaddr_in6* out) {
  std::string address = text;
  unsigned long port = 0;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string::npos) return false;
    std::string rest = text.substr(close + 1);
    if (!rest.empty() && (rest[0] != ':' || !ParsePort(rest.substr(1), &port))) return false;
    address = text.substr(1, close - 1);
  }
  uint8_t bytes[16];
  uint32_t scope = 0;
  if (!host::net::ParseIPv6WithScope(address, bytes, &scope)) return false;
  out->sin6_family = AF_INET6;
  out->sin6_port = htons(static_cast<u_short>(port));
  std::memcpy(out->sin6_addr.u.Byte, bytes, 16);
  out->sin6_scope_id = scope;
  return true;
}

thread_local char t_dottedText[16];

// Both conversions belong to the socket library and need it started, as every Windows Sockets
// call but WSAStartup does.
bool Started() {
  if (host::sockets::StartCount() > 0) return true;
  WSASetLastError(WSANOTINITIALISED);
  return false;
}

}  // namespace

INT WINAPI WSAAddressToStringW(LPSOCKADDR address, DWORD addressLength, LPWSAPROTOCOL_INFOW info, LPWSTR text,
                               LPDWORD length) {
  HOST_ENTER("WSAAddressToStringW", SOCKET_ERROR);
  if (!Started()) return SOCKET_ERROR;
  if (!address || !length) {
    WSASetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  if (addressLength < sizeof(sockaddr)) {
    WSASetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  bool ok = false;
  std::string converted = AddressText(address, addressLength, &ok);
  if (!ok) {
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  DWORD needed = static_cast<DWORD>(converted.size() + 1);
  if (!text || *length < needed) {
    *length = needed;
    WSASetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  for (size_t i = 0; i < converted.size(); ++i) text[i] = static_cast<WCHAR>(converted[i]);
  text[converted.size()] = L'\0';
  *length = needed;
  return 0;
}

INT WINAPI WSAStringToAddressW(LPWSTR text, INT family, LPWSAPROTOCOL_INFOW info, LPSOCKADDR address,
                               LPINT addressLength) {
  HOST_ENTER("WSAStringToAddressW", SOCKET_ERROR);
  if (!Started()) return SOCKET_ERROR;
  if (!text || !address || !addressLength) {
    WSASetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  // Texts are ASCII; any other character ('?' here, which neither reader takes) makes the text
  // unreadable.
  std::string narrow;
  for (const WCHAR* c = text; *c; ++c) narrow.push_back(*c > 0 && *c <= 0x7E ? static_cast<char>(*c) : '?');
  if (family == AF_INET) {
    if (*addressLength < static_cast<INT>(sizeof(sockaddr_in))) {
      *addressLength = sizeof(sockaddr_in);
      WSASetLastError(WSAEFAULT);
      return SOCKET_ERROR;
    }
    // The address is cleared first, so a text that is refused leaves it zero.
    sockaddr_in parsed = {};
    std::memset(address, 0, sizeof parsed);
    if (!ParseIPv4WithPort(narrow, &parsed)) {
      WSASetLastError(WSAEINVAL);
      return SOCKET_ERROR;
    }
    std::memcpy(address, &parsed, sizeof parsed);
    *addressLength = sizeof parsed;
    return 0;
  }
  if (family == AF_INET6) {
    if (*addressLength < static_cast<INT>(sizeof(sockaddr_in6))) {
      *addressLength = sizeof(sockaddr_in6);
      WSASetLastError(WSAEFAULT);
      return SOCKET_ERROR;
    }
    sockaddr_in6 parsed = {};
    std::memset(address, 0, sizeof parsed);
    if (!ParseIPv6WithPort(narrow, &parsed)) {
      WSASetLastError(WSAEINVAL);
      return SOCKET_ERROR;
    }
    std::memcpy(address, &parsed, sizeof parsed);
    *addressLength = sizeof parsed;
    return 0;
  }
  WSASetLastError(WSAEINVAL);
  return SOCKET_ERROR;
}

char* WINAPI inet_ntoa(struct in_addr address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  std::snprintf(t_dottedText, sizeof t_dottedText, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return t_dottedText;
}
