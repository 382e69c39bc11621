// What the Wine run of the engine works against. tests/wine/engine.sh starts the printer-server
// processes and makes the firmware images, then hands their places and the values the printers
// were started with to the program in its environment.
#pragma once

#include <string>

namespace wine_engine {

struct RunSettings {
  std::wstring queryPrinter;    // WINE_ENGINE_PRINTER: a printer that is only asked, never burned
  std::wstring burnPrinter;     // WINE_ENGINE_BURN_PRINTER: a printer that takes one burn
  std::wstring refusedAddress;  // WINE_ENGINE_REFUSED: nothing listens on port 9100 there
  std::wstring unansweredAddress;  // WINE_ENGINE_UNANSWERED: a printer that accepts no connection
  std::wstring imageFolder;     // WINE_ENGINE_IMAGES: fwimage's standard images, as a Windows path
  long printerVersion = 0;      // WINE_ENGINE_VERSION: both printers' firmware version at start
  long imageVersion = 0;        // WINE_ENGINE_IMAGE_VERSION: the standard images' version
  long olderImageVersion = 0;   // WINE_ENGINE_OLDER_VERSION: version of "older.bin" beside them
  std::string deviceId;         // WINE_ENGINE_DEVICE_ID: the printers' IEEE 1284 device ID text
  std::string buildInfo;        // WINE_ENGINE_BUILD_INFO: the printers' build information text
};

// Reads the settings from the environment. False when one is missing or malformed; `problem`
// then names it.
bool LoadSettings(std::string* problem);
const RunSettings& Settings();

// "<image folder>\<name>".
std::wstring ImagePath(const std::wstring& name);

}  // namespace wine_engine
