#include "app/image_files.h"

#include <cwchar>

#include "diag/diag_log.h"
#include "platform/unique_handle.h"
#include "platform/wide_text.h"
#include "platform/win32.h"

wchar_t imageFiles[IMAGE_SLOT_COUNT][IMAGE_NAME_CHARS] = {
    L"TVQ5530An.bin",  // network model, Asian panel
    L"TVQ5530A.bin",   // base model, Asian panel
    L"TVQ5530.bin",    // base model, Western panel
    L"TVQ5530n.bin",   // network model, Western panel
};

bool GetProgramDirectory(wchar_t* directory) {
  directory[0] = L'\0';
  wchar_t module[PROGRAM_PATH_CHARS] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, module, static_cast<DWORD>(PROGRAM_PATH_CHARS));
  // A name that fills the whole buffer was cut.
  if (length == 0 || length >= PROGRAM_PATH_CHARS) return false;

  wchar_t* filePart = nullptr;
  DWORD full = ::GetFullPathNameW(module, static_cast<DWORD>(PROGRAM_PATH_CHARS), directory, &filePart);
  if (full == 0 || full >= PROGRAM_PATH_CHARS) {
    directory[0] = L'\0';
    return false;
  }
  wchar_t* lastSeparator = nullptr;
  for (wchar_t* c = directory; *c; ++c) {
    if (*c == L'\\' || *c == L'/') lastSeparator = c;
  }
  if (!lastSeparator) {
    directory[0] = L'\0';
    return false;
  }
  lastSeparator[1] = L'\0';
  return true;
}

bool GetImagePath(int slot, wchar_t* path) {
  path[0] = L'\0';
  if (slot < 0 || slot >= IMAGE_SLOT_COUNT || imageFiles[slot][0] == L'\0') return false;
  wchar_t directory[PROGRAM_PATH_CHARS];
  if (!GetProgramDirectory(directory)) return false;
  size_t directoryLength = std::wcslen(directory);
  if (directoryLength + std::wcslen(imageFiles[slot]) >= PROGRAM_PATH_CHARS) return false;
  CopyWholeText(path, PROGRAM_PATH_CHARS, directory);
  CopyWholeText(path + directoryLength, PROGRAM_PATH_CHARS - directoryLength, imageFiles[slot]);
  return true;
}

void CheckImageFile(int slot) {
  wchar_t path[PROGRAM_PATH_CHARS];
  if (!GetImagePath(slot, path)) {
    DiagLog::Write(L"CheckImageFile: the path of %ls does not fit, not checked", imageFiles[slot]);
    return;
  }
  platform::UniqueFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) imageFiles[slot][0] = L'\0';
}
