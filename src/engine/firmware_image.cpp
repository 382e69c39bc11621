#include "engine/firmware_image.h"

#include <climits>
#include <cstring>

#include "diag/diag_log.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace {

// Reads up to `count` bytes; returns how many arrived (0 on a failed read).
DWORD ReadUpTo(HANDLE file, void* buffer, DWORD count) {
  DWORD done = 0;
  if (!ReadFile(file, buffer, count, &done, nullptr)) return 0;
  return done;
}

// Moves the file pointer `distance` bytes before the end; false when that lies before the start.
bool SeekFromEnd(HANDLE file, LONG distance) {
  LARGE_INTEGER move;
  move.QuadPart = -static_cast<LONGLONG>(distance);
  return SetFilePointerEx(file, move, nullptr, FILE_END) != FALSE;
}

bool IsBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Decimal value of the text at `text` (zero-terminated within `end`): leading white space
// and a sign accepted, digits up to the first other byte. Values beyond the 32-bit range are
// held at its limits.
int32_t DecimalValue(const uint8_t* text, const uint8_t* end) {
  while (text < end && IsBlank(*text)) ++text;
  bool negative = false;
  if (text < end && (*text == '+' || *text == '-')) negative = *text++ == '-';
  long long value = 0;
  for (; text < end && *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int32_t>(value);
}

// Version value of trailer bytes as read (`count` of them): the decimal number after the
// label's terminating zero; 0 when no zero byte lies among them or no digits follow it.
int32_t TrailerVersion(const uint8_t* trailer, size_t count) {
  if (count > kTrailerReadBytes) count = kTrailerReadBytes;
  const void* zero = std::memchr(trailer, 0, count);
  // A label without its zero byte among the bytes read leaves no digits to read.
  if (!zero) return 0;
  const uint8_t* digits = static_cast<const uint8_t*>(zero) + 1;
  return DecimalValue(digits, trailer + count);
}

}  // namespace

int32_t GetBinFileVersion(const wchar_t* path, int32_t* fileType) {
  DiagLog::Write(L"GetBinFileVersion file=%ls", path ? path : L"");
  platform::UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DiagLog::Write(L"  Open bin file failed.  gle=%d", static_cast<int>(GetLastError()));
    return 0;
  }

  uint8_t id[4] = {};
  uint32_t filetypeID = 0;
  if (ReadUpTo(file.get(), id, sizeof id) == sizeof id) {
    filetypeID = static_cast<uint32_t>(id[0]) | static_cast<uint32_t>(id[1]) << 8 |
                 static_cast<uint32_t>(id[2]) << 16 | static_cast<uint32_t>(id[3]) << 24;
  }
  DiagLog::Write(L"GetBinFileVersion   filetypeID = %#x", static_cast<unsigned>(filetypeID));
  if (fileType) *fileType = filetypeID == kFileTypeId2 ? FILE_TYPE_2 : FILE_TYPE_1;

  // The last byte is the trailer length, a signed byte: 0 or a negative length leaves nothing
  // to read, and so does a length that reaches before the start of the file.
  int8_t trailerLength = 0;
  uint8_t last = 0;
  if (SeekFromEnd(file.get(), 1) && ReadUpTo(file.get(), &last, 1) == 1) trailerLength = static_cast<int8_t>(last);
  if (trailerLength <= 0 || !SeekFromEnd(file.get(), trailerLength)) return 0;

  uint8_t trailer[kTrailerReadBytes + 1] = {};
  DWORD count = ReadUpTo(file.get(), trailer, kTrailerReadBytes);
  return TrailerVersion(trailer, count);
}

int32_t ImageVersionOf(const uint8_t* bytes, size_t size) {
  if (size == 0) return 0;
  const int8_t trailerLength = static_cast<int8_t>(bytes[size - 1]);
  if (trailerLength <= 0 || static_cast<size_t>(trailerLength) > size) return 0;
  const uint8_t* trailer = bytes + size - static_cast<size_t>(trailerLength);
  size_t count = static_cast<size_t>(trailerLength) < kTrailerReadBytes ? static_cast<size_t>(trailerLength)
                                                                      : static_cast<size_t>(kTrailerReadBytes);
  return TrailerVersion(trailer, count);
}
