// One IP address as the text it was given and, when the text is recognised as IPv4 or IPv6 and
// the socket library converts it, the address bytes beside it (network byte order).
#pragma once

#include <memory>
#include <string>

#include "platform/win32.h"

enum class AddressKind { IPv4 = 0, IPv6 = 1, None = 2 };

class IPAddress {
 public:
  // Empty: no text, not valid.
  IPAddress();
  // Recognises and converts `text` (null counts as empty). The text is kept as given, whether or
  // not it is valid. The conversion needs the socket library started.
  explicit IPAddress(const wchar_t* text);
  // An independent copy of everything, the text of a value that is not valid included.
  IPAddress(const IPAddress& other);
  // Takes effect only when `source` is valid (valid, with bytes and a text): the destination
  // then becomes an independent copy of it. Otherwise the destination stays as it was.
  IPAddress& operator=(const IPAddress& source);
  virtual ~IPAddress();

  const std::wstring& text() const { return text_; }
  bool valid() const { return valid_; }
  AddressKind kind() const { return kind_; }
  // 4 bytes for IPv4, 16 for IPv6; null when not valid.
  const unsigned char* addressBytes() const { return addressBytes_.get(); }

  // A dotted IPv4 address with an optional ":port", made of "0123456789.:" only.
  static bool IsIPv4Text(const wchar_t* text);
  // An IPv6 address by its shape: optional brackets, prefix or scope, embedded IPv4 part,
  // at most one "::", and the count and length of the groups. Group characters are left to
  // the conversion.
  static bool IsIPv6Text(const wchar_t* text);
  // The socket library's conversions; false when it rejects the text.
  static bool ParseIPv4(const wchar_t* text, unsigned char out[4]);
  static bool ParseIPv6(const wchar_t* text, unsigned char out[16]);

 private:
  std::wstring text_;
  std::unique_ptr<unsigned char[]> addressBytes_;
  bool valid_ = false;
  AddressKind kind_ = AddressKind::None;
};
