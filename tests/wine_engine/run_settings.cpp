#include "wine_engine/run_settings.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace wine_engine {

namespace {

RunSettings g_settings;

// One environment variable through GetEnvironmentVariableA or W: asks for the size, then reads.
template <typename Char>
bool ReadVariable(DWORD(WINAPI* get)(const Char*, Char*, DWORD), const Char* name, std::basic_string<Char>* value) {
  DWORD needed = get(name, nullptr, 0);
  if (needed == 0) return false;
  std::vector<Char> buffer(needed);
  DWORD length = get(name, buffer.data(), needed);
  if (length == 0 || length >= needed) return false;
  value->assign(buffer.data(), length);
  return true;
}

bool ReadNarrow(const char* name, std::string* value) { return ReadVariable(GetEnvironmentVariableA, name, value); }

// Paths may hold any character, so they are read as wide text. Names are ASCII: widened byte by byte.
bool ReadWide(const char* name, std::wstring* value) {
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  return ReadVariable(GetEnvironmentVariableW, wideName.c_str(), value);
}

bool ReadNumber(const char* name, long* value) {
  std::string text;
  if (!ReadNarrow(name, &text)) return false;
  char* end = nullptr;
  *value = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && *end == '\0' && *value > 0;
}

}  // namespace

bool LoadSettings(std::string* problem) {
  RunSettings& s = g_settings;
  const std::pair<const char*, std::wstring*> wide[] = {{"WINE_ENGINE_PRINTER", &s.queryPrinter},
                                                         {"WINE_ENGINE_BURN_PRINTER", &s.burnPrinter},
                                                         {"WINE_ENGINE_REFUSED", &s.refusedAddress},
                                                         {"WINE_ENGINE_UNANSWERED", &s.unansweredAddress},
                                                         {"WINE_ENGINE_IMAGES", &s.imageFolder}};
  for (const auto& setting : wide) {
    if (!ReadWide(setting.first, setting.second) || setting.second->empty()) {
      *problem = std::string(setting.first) + " is not set";
      return false;
    }
  }
  const std::pair<const char*, long*> numbers[] = {{"WINE_ENGINE_VERSION", &s.printerVersion},
                                                   {"WINE_ENGINE_IMAGE_VERSION", &s.imageVersion},
                                                   {"WINE_ENGINE_OLDER_VERSION", &s.olderImageVersion}};
  for (const auto& number : numbers) {
    if (!ReadNumber(number.first, number.second)) {
      *problem = std::string(number.first) + " is not a positive number";
      return false;
    }
  }
  const std::pair<const char*, std::string*> texts[] = {{"WINE_ENGINE_DEVICE_ID", &s.deviceId},
                                                        {"WINE_ENGINE_BUILD_INFO", &s.buildInfo}};
  for (const auto& text : texts) {
    if (!ReadNarrow(text.first, text.second) || text.second->empty()) {
      *problem = std::string(text.first) + " is not set";
      return false;
    }
  }
  return true;
}

const RunSettings& Settings() { return g_settings; }

std::wstring ImagePath(const std::wstring& name) { return g_settings.imageFolder + L"\\" + name; }

}  // namespace wine_engine
