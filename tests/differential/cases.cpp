// The differential cases: address texts and code-page conversions through the calls the program
// makes, one line per case ("<call and input> -> <results>"). The same program is built natively,
// against the simulated host, and for Windows; tests/wine/differential.sh runs both (the Windows
// one under Wine) and compares the lines, so a place where the host reads or writes differently
// from Wine's independent implementation shows as the case that differs.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

constexpr int kPoisonError = 0x7357;

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0, unsigned long long c = 0) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

std::string Hex(const void* data, size_t size) {
  std::string text;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) text += Format("%02llx", bytes[i]);
  return text.empty() ? "-" : text;
}

// A text as it appears in a case's name: printable ASCII as is, anything else as \xNN or \uNNNN.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) quoted += (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') ? std::string(1, static_cast<char>(c)) : Format("\\x%02llx", c);
  return quoted + "\"";
}

std::string Quoted(const std::wstring& text) {
  std::string quoted = "L\"";
  for (wchar_t c : text) {
    unsigned long long unit = static_cast<unsigned long long>(c);
    quoted += (unit >= 0x20 && unit < 0x7F && c != L'"' && c != L'\\') ? std::string(1, static_cast<char>(c)) : Format("\\u%04llx", unit);
  }
  return quoted + "\"";
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

void Case(const std::string& name, const std::string& result) { std::printf("%s -> %s\n", name.c_str(), result.c_str()); }

std::string Outcome(int result, int error) { return Format("%lld err=%lld", static_cast<unsigned long long>(result), static_cast<unsigned long long>(error)); }

// IPv4 texts (many from Wine's Windows-checked tests of WSAStringToAddress), IPv6 texts, and the
// same with ports.
const char* const kAddressTexts[] = {
    "", " ", "1.1.1.1", "0.0.0.0", "127.127.127.127", "255.255.255.255", "255.255.255.256", "a", "1.1.1.0xaA",
    "1.1.1.0x", "1.1.1.0xff", "1.1.1.0x100", "1.1.1.010", "1.1.1.00", "1.1.1.007", "1.1.1.08", "1.1.1.008",
    "1.1.1.0a", "1.1.1.-2", "1", "-1", "1.2", "1000.2000", "1.2.", "1..2", "1.2.3", "1.2.3.", "203569230",
    "1.223756", "3.4.756", "756.3.4", "3.4.65536", "3.4.5.6.7", "3.4.5.+6", " 3.4.5.6", "3.4.5.6 ", ".",
    "[0.1.2.3]", "0x00010203", "0X00010203", "0x1234", "x00010203", "1234BEEF", "017700000001", "0777",
    "192.168.1.10", "10.0.0.7", "::1", ":1", "[::1]", "::1]", "2001::1", "001::1", "1:2:3:", "fe80::1",
    "fe80::1%4", "fe80::1%x", "gggg::1", "1::2::3", "::ffff:192.168.1.1", "::ffff:0:13.1.68.3",
    "::5efe:129.144.52.38", "1111:2222:3333:4444:5555:6666:7777:8888", "1111:2222:3333:4444:5555:6666:7777:8888:9999",
    "::1.2.3.4", "1.2.3.4::",
};

const char* const kPorts[] = {":123", ":65535", ":65536", ":0", ":", ":0xAbCd", ":0x", ":0x10000", ":010", ":007",
                              ":08", ":080", ":0a", ":1 ", ": 1"};

std::vector<std::string> AddressTextsWithPorts() {
  std::vector<std::string> texts(std::begin(kAddressTexts), std::end(kAddressTexts));
  for (const char* port : kPorts) {
    texts.push_back(std::string("127.0.0.1") + port);
    texts.push_back(std::string("[::1]") + port);
    texts.push_back(std::string("[fe80::1%4]") + port);
  }
  return texts;
}

void InetAddrCases(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    uint32_t address = static_cast<uint32_t>(inet_addr(text.c_str()));
    Case("inet_addr(" + Quoted(text) + ")", Hex(&address, 4));
  }
}

void StringToAddressCases(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    for (int family : {AF_INET, AF_INET6}) {
      const INT size = family == AF_INET ? static_cast<INT>(sizeof(sockaddr_in)) : static_cast<INT>(sizeof(sockaddr_in6));
      for (INT given : {size + 10, size - 1}) {
        if (given < size && text != "1.1.1.1" && text != "::1") continue;  // the short length on two texts only
        unsigned char address[sizeof(sockaddr_in6) + 10];
        std::memset(address, 0xAB, sizeof address);
        INT length = given;
        std::wstring wide = Widen(text);
        WSASetLastError(kPoisonError);
        int result = WSAStringToAddressW(&wide[0], family, nullptr, reinterpret_cast<LPSOCKADDR>(address), &length);
        int error = result == 0 ? 0 : WSAGetLastError();
        std::string outcome = Outcome(result, error) + Format(" len=%lld", static_cast<unsigned long long>(length));
        // The family and port fields (the address bytes that Windows writes on a refusal are not compared).
        outcome += " family+port=" + Hex(address, 4);
        if (result == 0) outcome += " address=" + Hex(address + 4, static_cast<size_t>(size - 4));
        Case(Format("WSAStringToAddressW(family %lld, len %lld, ", static_cast<unsigned long long>(family),
                    static_cast<unsigned long long>(given)) + Quoted(text) + ")",
             outcome);
      }
    }
  }
}

// One address through WSAAddressToStringW: the size query, one character short, and exact.
void AddressToString(const std::string& name, const void* address, DWORD addressLength) {
  auto* socketAddress = static_cast<LPSOCKADDR>(const_cast<void*>(address));
  DWORD needed = 0;
  WSASetLastError(kPoisonError);
  int result = WSAAddressToStringW(socketAddress, addressLength, nullptr, nullptr, &needed);
  Case(name + " query", Outcome(result, result == 0 ? 0 : WSAGetLastError()) + Format(" len=%lld", needed));
  if (needed == 0 || needed > 128) {
    Case(name + " short", "not called");
    Case(name + " exact", "not called");
    return;
  }
  std::vector<wchar_t> text(130, L'#');
  DWORD length = needed - 1;
  WSASetLastError(kPoisonError);
  result = WSAAddressToStringW(socketAddress, addressLength, nullptr, text.data(), &length);
  Case(name + " short", Outcome(result, result == 0 ? 0 : WSAGetLastError()) + Format(" len=%lld", length));
  length = needed;
  WSASetLastError(kPoisonError);
  result = WSAAddressToStringW(socketAddress, addressLength, nullptr, text.data(), &length);
  std::wstring written(text.data(), result == 0 ? length - 1 : 0);
  Case(name + " exact", Outcome(result, result == 0 ? 0 : WSAGetLastError()) + Format(" len=%lld ", length) + Quoted(written));
}

void AddressToStringCases() {
  const unsigned char v4[][4] = {{0, 0, 0, 0}, {127, 0, 0, 1}, {255, 255, 255, 255}, {192, 168, 1, 10}};
  for (const auto& bytes : v4) {
    for (u_short port : {0, 80, 65535}) {
      sockaddr_in in{};
      in.sin_family = AF_INET;
      in.sin_port = htons(port);
      std::memcpy(&in.sin_addr, bytes, 4);
      std::string name = "WSAAddressToStringW(" + Format("%llu.%llu.%llu", bytes[0], bytes[1], bytes[2]) +
                         Format(".%llu port %llu)", bytes[3], port);
      AddressToString(name, &in, sizeof in);
    }
  }
  const unsigned short v6[][8] = {
      {0, 0, 0, 0, 0, 0, 0, 0},           {0, 0, 0, 0, 0, 0, 0, 1},          {0xfe80, 0, 0, 0, 0, 0, 0, 1},
      {0x2001, 0xdb8, 0, 0, 1, 0, 0, 1},  {0, 0, 0, 0, 0, 0, 0x0d01, 0x4403}, {0, 0, 0, 0, 0, 0xffff, 0xc0a8, 0x0101},
      {0, 0, 0, 0, 0, 0xffff, 0, 0x4403}, {0, 0, 0, 0, 0xffff, 0, 0x0d01, 0x4403}, {0, 0, 0, 0, 0, 0x5efe, 0x8190, 0x3426},
      {0x1111, 0, 0, 0, 0x200, 0x5efe, 0x8190, 0x3426}, {0, 0, 0, 0, 0x100, 0x5efe, 0x8190, 0x3426},
      {0x3ffe, 0xb00, 0, 0, 1, 0, 0, 0xa}, {1, 0, 1, 0, 1, 0, 1, 0}, {0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff},
  };
  for (const auto& groups : v6) {
    for (ULONG scope : {0UL, 4UL}) {
      for (u_short port : {0, 9100}) {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        in6.sin6_scope_id = scope;
        std::string name = "WSAAddressToStringW(";
        for (int i = 0; i < 8; ++i) {
          in6.sin6_addr.u.Byte[2 * i] = static_cast<unsigned char>(groups[i] >> 8);
          in6.sin6_addr.u.Byte[2 * i + 1] = static_cast<unsigned char>(groups[i] & 0xFF);
          name += Format(i ? ":%llx" : "%llx", groups[i]);
        }
        AddressToString(name + Format(" scope %llu port %llu)", scope, port), &in6, sizeof in6);
      }
    }
  }
  sockaddr_in in{};
  in.sin_family = AF_INET;
  AddressToString("WSAAddressToStringW(0.0.0.0, address length one short)", &in, sizeof in - 1);
  sockaddr_in6 in6{};
  in6.sin6_family = AF_INET6;
  AddressToString("WSAAddressToStringW(::, address length one short)", &in6, sizeof in6 - 1);
}

std::string Entries(PADDRINFOA list) {
  std::string text;
  for (PADDRINFOA entry = list; entry; entry = entry->ai_next) {
    text += Format(" [family %lld socktype %lld protocol %lld", static_cast<unsigned long long>(entry->ai_family),
                   static_cast<unsigned long long>(entry->ai_socktype), static_cast<unsigned long long>(entry->ai_protocol));
    text += Format(" addrlen %lld ", static_cast<unsigned long long>(entry->ai_addrlen));
    text += entry->ai_addr ? Hex(entry->ai_addr, entry->ai_addrlen) : "-";
    text += "]";
  }
  return text;
}

void GetAddrInfo(const std::string& node, int family, int flags, int socktype) {
  ADDRINFOA hints{};
  hints.ai_family = family;
  hints.ai_flags = flags;
  hints.ai_socktype = socktype;
  hints.ai_protocol = socktype == SOCK_STREAM ? IPPROTO_TCP : 0;
  PADDRINFOA list = nullptr;
  int result = getaddrinfo(node.c_str(), nullptr, &hints, &list);
  Case(Format("getaddrinfo(family %lld, flags %lld, socktype %lld, ", static_cast<unsigned long long>(family),
              static_cast<unsigned long long>(flags), static_cast<unsigned long long>(socktype)) + Quoted(node) + ")",
       Format("%lld", static_cast<unsigned long long>(result)) + Entries(list));
  if (list) freeaddrinfo(list);
}

void GetAddrInfoCases(const std::vector<std::string>& texts) {
  // Numeric hosts only, so that no case asks a name server.
  for (const std::string& text : texts) {
    if (text.empty()) continue;
    for (int family : {AF_UNSPEC, AF_INET, AF_INET6}) GetAddrInfo(text, family, AI_NUMERICHOST, SOCK_STREAM);
  }
  for (const char* text : {"127.0.0.1", "::1", "[::1]", "fe80::1%4", "10.0.0.7"}) {
    for (int family : {AF_UNSPEC, AF_INET, AF_INET6}) {
      GetAddrInfo(text, family, 0, SOCK_STREAM);
      GetAddrInfo(text, family, AI_NUMERICHOST, 0);
    }
  }
}

// The sizes each conversion is called with: 0 (the size query), one short of what the query gave,
// and exactly that. The case names say the size by its role, so that the cases line up even
// where the two sides need different sizes.
struct Size {
  const char* role;
  bool query;
  int offset;  // from the size needed
};
const Size kSizes[] = {{"0", true, 0}, {"needed-1", false, -1}, {"needed", false, 0}};

void WideToBytes(UINT codePage, DWORD flags, const std::wstring& text, bool askUsed) {
  int needed = WideCharToMultiByte(codePage, flags, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  for (const Size& role : kSizes) {
    std::string name = Format("WideCharToMultiByte(cp %lld, flags 0x%llx, ", codePage, flags) + "size " + role.role +
                       (askUsed ? ", used, " : ", ") + Quoted(text) + ")";
    int size = role.query ? 0 : needed + role.offset;
    if (size <= 0 && !role.query) {
      Case(name, Format("not called (needed %lld)", static_cast<unsigned long long>(needed)));
      continue;
    }
    std::vector<char> bytes(static_cast<size_t>(size) + 8, '#');
    BOOL used = 7;
    SetLastError(kPoisonError);
    int result = WideCharToMultiByte(codePage, flags, text.c_str(), -1, size ? bytes.data() : nullptr, size, nullptr,
                                     askUsed ? &used : nullptr);
    std::string outcome = Outcome(result, result ? 0 : static_cast<int>(GetLastError()));
    if (result > 0 && size > 0) outcome += " bytes=" + Hex(bytes.data(), static_cast<size_t>(result));
    if (askUsed) outcome += Format(" used=%lld", static_cast<unsigned long long>(used));
    Case(name, outcome);
  }
}

void BytesToWide(UINT codePage, DWORD flags, const std::string& text) {
  int needed = MultiByteToWideChar(codePage, flags, text.c_str(), -1, nullptr, 0);
  for (const Size& role : kSizes) {
    std::string name = Format("MultiByteToWideChar(cp %lld, flags 0x%llx, ", codePage, flags) + "size " + role.role +
                       ", " + Quoted(text) + ")";
    int size = role.query ? 0 : needed + role.offset;
    if (size <= 0 && !role.query) {
      Case(name, Format("not called (needed %lld)", static_cast<unsigned long long>(needed)));
      continue;
    }
    std::vector<wchar_t> wide(static_cast<size_t>(size) + 8, L'#');
    SetLastError(kPoisonError);
    int result = MultiByteToWideChar(codePage, flags, text.c_str(), -1, size ? wide.data() : nullptr, size);
    std::string outcome = Outcome(result, result ? 0 : static_cast<int>(GetLastError()));
    if (result > 0 && size > 0) outcome += " text=" + Quoted(std::wstring(wide.data(), static_cast<size_t>(result)));
    Case(name, outcome);
  }
}

void CodePageCases() {
  const std::wstring wide[] = {
      L"TV Vexline Q5530n MFP",
      L"B\u00FCro \u20AC",
      L"\u0141\u00F3d\u017A",                                // letters 1252 has only as best fits
      L"\uFF11\uFF19\uFF12.\uFF11\uFF16\uFF18.\uFF10.\uFF11",  // full-width digits
      L"\u0416\u4E00",                                       // no best fit in 1252
      std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L"b",  // an unpaired surrogate
      L"\u2018quoted\u2019 \u2013 \u00A0",
  };
  for (const std::wstring& text : wide) {
    for (UINT codePage : {1252u, static_cast<UINT>(CP_UTF8)}) {
      for (DWORD flags : {0UL, static_cast<unsigned long>(WC_NO_BEST_FIT_CHARS), static_cast<unsigned long>(WC_ERR_INVALID_CHARS)}) {
        for (bool askUsed : {false, true}) WideToBytes(codePage, flags, text, askUsed);
      }
    }
  }
  const std::string narrow[] = {"plain", "B\xC3\xBC" "ro \xE2\x82\xAC", "B\xFCro \x80\x81\x8D", "a\xC0\xAFz", "a\xE2\x82z",
                                "\xEF\xBF\xBD"};
  for (const std::string& text : narrow) {
    for (UINT codePage : {1252u, static_cast<UINT>(CP_UTF8)}) {
      for (DWORD flags : {0UL, static_cast<unsigned long>(MB_ERR_INVALID_CHARS), static_cast<unsigned long>(MB_PRECOMPOSED)}) {
        BytesToWide(codePage, flags, text);
      }
    }
  }
}

}  // namespace

int main() {
  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    std::printf("WSAStartup failed\n");
    return 1;
  }
  std::vector<std::string> texts = AddressTextsWithPorts();
  InetAddrCases(texts);
  StringToAddressCases(texts);
  AddressToStringCases();
  GetAddrInfoCases(texts);
  CodePageCases();
  WSACleanup();
  return 0;
}
