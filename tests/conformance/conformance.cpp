#include "conformance.h"

#include <cstdio>

namespace conformance {

TempFolder::TempFolder() {
  std::vector<wchar_t> temp(MAX_PATH + 1, L'\0');
  DWORD length = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
  if (length == 0 || length >= temp.size()) return;
  static unsigned counter = 0;
  wchar_t name[64];
  std::swprintf(name, 64, L"conformance-%lu-%u", static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
  path_ = std::wstring(temp.data(), length) + name;
  created_ = CreateDirectoryW(path_.c_str(), nullptr) != FALSE;
}

TempFolder::~TempFolder() {
  for (auto it = files_.rbegin(); it != files_.rend(); ++it) DeleteFileW(it->c_str());
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryW(it->c_str());
  if (created_) RemoveDirectoryW(path_.c_str());
}

std::wstring TempFolder::File(const std::wstring& name) {
  files_.push_back(path_ + L"\\" + name);
  return files_.back();
}

std::wstring TempFolder::Folder(const std::wstring& name) {
  folders_.push_back(path_ + L"\\" + name);
  return folders_.back();
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return CloseHandle(file) && ok && written == bytes.size();
}

}  // namespace conformance
