#include "cli/addresses.h"

#include <algorithm>
#include <cctype>

#include "cli/text.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kMaxFileBytes = 1 << 20;
constexpr size_t kMaxAddressChars = 253;

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t at = 0;
  for (size_t next; (next = text.find(separator, at)) != std::string::npos; at = next + 1) {
    parts.push_back(text.substr(at, next - at));
  }
  parts.push_back(text.substr(at));
  return parts;
}

bool IsDottedIpv4(const std::string& text) {
  std::vector<std::string> parts = Split(text, '.');
  if (parts.size() != 4) return false;
  for (const std::string& part : parts) {
    if (!AllDigits(part) || part.size() > 3 || std::stoi(part) > 255) return false;
  }
  return true;
}

bool IsLabel(const std::string& label) {
  if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
  return std::all_of(label.begin(), label.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0 || c == '-'; });
}

// The whole file through the system's file API, at most kMaxFileBytes.
bool ReadWholeFile(const std::string& path, std::string& content, std::string& error) {
  std::wstring wide = Wide(path);
  platform::UniqueFile file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (wide.empty() || !file) {
    error = "The address file cannot be read: " + path + " (error " + std::to_string(::GetLastError()) + ").";
    return false;
  }
  content.clear();
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      error = "The address file cannot be read: " + path + " (error " + std::to_string(::GetLastError()) + ").";
      return false;
    }
    if (got == 0) return true;
    if (content.size() + got > kMaxFileBytes) {
      error = "The address file is larger than 1 MiB: " + path + ".";
      return false;
    }
    content.append(buffer, got);
  }
}

void AddOnce(std::vector<std::string>& addresses, const std::string& address) {
  if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
}

}  // namespace

bool IsAddressOrHostName(const std::string& text) {
  if (text.empty() || text.size() > kMaxAddressChars) return false;
  if (IsDottedIpv4(text)) return true;
  std::vector<std::string> labels = Split(text.back() == '.' ? text.substr(0, text.size() - 1) : text, '.');
  if (AllDigits(labels.back())) return false;  // a mistyped IPv4 address, not a name
  return std::all_of(labels.begin(), labels.end(), IsLabel);
}

bool CollectAddresses(const std::vector<std::string>& values, const std::vector<std::string>& files,
                      std::vector<std::string>& addresses, std::string& error) {
  addresses.clear();
  for (const std::string& value : values) {
    std::string address = Trimmed(value);
    if (!IsAddressOrHostName(address)) {
      error = "--address: \"" + value + "\" is neither an IPv4 address nor a host name.";
      return false;
    }
    AddOnce(addresses, address);
  }
  for (const std::string& path : files) {
    std::string content;
    if (!ReadWholeFile(path, content, error)) return false;
    size_t found = 0;
    std::vector<std::string> lines = Split(content, '\n');
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string line = lines[i].substr(0, lines[i].find('#'));
      std::string address = Trimmed(line);
      if (address.empty()) continue;
      if (!IsAddressOrHostName(address)) {
        error = path + ", line " + std::to_string(i + 1) + ": \"" + address +
                "\" is neither an IPv4 address nor a host name.";
        return false;
      }
      AddOnce(addresses, address);
      ++found;
    }
    if (found == 0) {
      error = "The address file names no address: " + path + ".";
      return false;
    }
  }
  return true;
}

std::string ModelOfDeviceId(const std::string& deviceId) {
  for (const std::string& field : Split(deviceId, ';')) {
    size_t colon = field.find(':');
    if (colon == std::string::npos) continue;
    std::string key = Trimmed(field.substr(0, colon));
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (key == "MDL" || key == "MODEL") return Trimmed(field.substr(colon + 1));
  }
  return {};
}
