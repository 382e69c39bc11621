// MultiByteToWideChar / WideCharToMultiByte for Windows-1252 and UTF-8.
// Wide characters here are 32-bit code points; on Windows they are UTF-16 units.
#include <algorithm>
#include <cwctype>
#include <iterator>
#include <string>

#include "host/machine.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace {

// Windows-1252 bytes 0x80..0x9F. The five bytes that 1252 leaves undefined map to the C1
// control with the same value, as Windows' table does.
const char32_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t From1252(unsigned char byte) { return (byte >= 0x80 && byte < 0xA0) ? k1252High[byte - 0x80] : byte; }

bool To1252(char32_t c, unsigned char* byte) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    *byte = static_cast<unsigned char>(c);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (k1252High[i] == c) {
      *byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

#include "bestfit1252.inc"

// The byte Windows writes for a character 1252 lacks when best fit is allowed.
bool BestFit1252(char32_t c, unsigned char* byte) {
  const BestFit* end = std::end(kBestFit1252);
  const BestFit* found = std::lower_bound(std::begin(kBestFit1252), end, c,
                                          [](const BestFit& entry, char32_t value) { return entry.character < value; });
  if (found == end || found->character != c) return false;
  *byte = found->byte;
  return true;
}

// Decodes UTF-8. An invalid sequence becomes one U+FFFD for each maximal part of a valid sequence
// (a lead byte and the continuation bytes that may follow it) and one for each other byte, as
// Windows does; it sets *invalid.
std::u32string DecodeUtf8(const unsigned char* bytes, size_t count, bool* invalid) {
  std::u32string out;
  size_t i = 0;
  while (i < count) {
    unsigned char lead = bytes[i];
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    // Continuation bytes after the lead; the second byte's range excludes overlong forms,
    // surrogates and code points beyond U+10FFFF.
    int extra = lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2 : lead >= 0xF0 && lead <= 0xF4 ? 3 : 0;
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    char32_t c = lead & (0x3F >> extra);
    int taken = 0;
    while (taken < extra && i + 1 + static_cast<size_t>(taken) < count) {
      unsigned char next = bytes[i + 1 + static_cast<size_t>(taken)];
      if (next < (taken == 0 ? low : 0x80) || next > (taken == 0 ? high : 0xBF)) break;
      c = (c << 6) | (next & 0x3F);
      ++taken;
    }
    if (extra == 0 || taken < extra) {
      *invalid = true;
      out.push_back(0xFFFD);
      i += 1 + static_cast<size_t>(taken);
      continue;
    }
    out.push_back(c);
    i += 1 + static_cast<size_t>(extra);
  }
  return out;
}

void EncodeUtf8(char32_t c, std::string* out) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

UINT Resolve(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_OEMCP) return host::AnsiCodePage();
  return codePage;
}

}  // namespace

namespace host {

std::string Utf8Of(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) EncodeUtf8(static_cast<char32_t>(c), &out);
  return out;
}

std::wstring WideOfUtf8(const std::string& text) {
  bool invalid = false;
  std::u32string decoded = DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &invalid);
  return std::wstring(decoded.begin(), decoded.end());
}

std::wstring UpperName(const std::wstring& text) {
  std::wstring upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return upper;
}

bool NamesEqual(const std::wstring& a, const std::wstring& b) { return UpperName(a) == UpperName(b); }

}  // namespace host

UINT WINAPI GetACP() { return host::AnsiCodePage(); }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount, LPWSTR wide,
                               int wideCount) {
  HOST_ENTER("MultiByteToWideChar", 0);
  UINT cp = Resolve(codePage);
  if (!multiByte || multiByteCount == 0 || multiByteCount < -1 || wideCount < 0 || (wideCount > 0 && !wide)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cp != 1252 && cp != CP_UTF8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // UTF-8 takes MB_ERR_INVALID_CHARS alone; 1252 takes MB_PRECOMPOSED as well (its characters
  // are all precomposed). Other flags are not modelled.
  DWORD allowed = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : MB_ERR_INVALID_CHARS | MB_PRECOMPOSED;
  if (flags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t count = multiByteCount == -1 ? std::char_traits<char>::length(multiByte) + 1
                                      : static_cast<size_t>(multiByteCount);
  const auto* bytes = reinterpret_cast<const unsigned char*>(multiByte);
  std::u32string decoded;
  if (cp == CP_UTF8) {
    bool invalid = false;
    decoded = DecodeUtf8(bytes, count, &invalid);
    if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else {
    for (size_t i = 0; i < count; ++i) decoded.push_back(From1252(bytes[i]));
  }
  if (wideCount == 0) return static_cast<int>(decoded.size());
  // Like Windows, fill what fits, then fail when the rest does not.
  size_t fit = decoded.size() < static_cast<size_t>(wideCount) ? decoded.size() : static_cast<size_t>(wideCount);
  for (size_t i = 0; i < fit; ++i) wide[i] = static_cast<wchar_t>(decoded[i]);
  if (fit < decoded.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<int>(decoded.size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multiByte,
                               int multiByteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  HOST_ENTER("WideCharToMultiByte", 0);
  UINT cp = Resolve(codePage);
  if (!wide || wideCount == 0 || wideCount < -1 || multiByteCount < 0 || (multiByteCount > 0 && !multiByte)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cp != 1252 && cp != CP_UTF8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // UTF-8 takes WC_ERR_INVALID_CHARS alone and no default character; 1252 takes
  // WC_NO_BEST_FIT_CHARS (WC_ERR_INVALID_CHARS is for UTF-8 only). Other flags are not modelled.
  DWORD allowed = cp == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  if (flags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (cp == CP_UTF8 && (defaultChar || usedDefaultChar)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t count = wideCount == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideCount);
  std::string encoded;
  bool usedDefault = false;
  for (size_t i = 0; i < count; ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if (cp == CP_UTF8) {
      if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        if (flags & WC_ERR_INVALID_CHARS) {
          SetLastError(ERROR_NO_UNICODE_TRANSLATION);
          return 0;
        }
      }
      EncodeUtf8(c, &encoded);
      continue;
    }
    unsigned char byte;
    if (To1252(c, &byte) || (!(flags & WC_NO_BEST_FIT_CHARS) && BestFit1252(c, &byte))) {
      encoded.push_back(static_cast<char>(byte));
      continue;
    }
    // A character beyond U+FFFF is a surrogate pair on Windows: two default characters.
    encoded.append(c > 0xFFFF ? 2 : 1, defaultChar ? *defaultChar : '?');
    usedDefault = true;
  }
  if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
  if (multiByteCount == 0) return static_cast<int>(encoded.size());
  size_t fit = encoded.size() < static_cast<size_t>(multiByteCount) ? encoded.size()
                                                                      : static_cast<size_t>(multiByteCount);
  std::copy(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(fit), multiByte);
  if (fit < encoded.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<int>(encoded.size());
}
