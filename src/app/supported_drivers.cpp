#include "app/supported_drivers.h"

namespace {

const wchar_t kSupportedDrivers[] = L"TV Vexline Q5530n MFP";

}  // namespace

void GetSupportedDriverNames(std::vector<std::wstring>& names) {
  names.clear();
  std::wstring list = kSupportedDrivers;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(L',', start);
    std::wstring piece = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
    size_t first = piece.find_first_not_of(L' ');
    size_t last = piece.find_last_not_of(L' ');
    names.push_back(first == std::wstring::npos ? std::wstring() : piece.substr(first, last - first + 1));
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
}
