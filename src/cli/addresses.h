// Network printers given by their address: `--address` values and the lines of
// `--addresses-from` files, checked before any printer is asked.
#pragma once

#include <string>
#include <vector>

// A dotted IPv4 address (four decimal numbers of 0 to 255) or a host name (labels of letters,
// digits and hyphens, at most 63 characters each and 253 in all, not all digits at the end).
bool IsAddressOrHostName(const std::string& text);

// The addresses to ask, in order: the values, then each file's lines (blanks trimmed; `#` starts a
// comment; blank lines ignored), each address once. False with a sentence in `error` for a value
// or line that is no address (naming the file and line), a file that cannot be read, is larger
// than 1 MiB or names no address.
bool CollectAddresses(const std::vector<std::string>& values, const std::vector<std::string>& files,
                      std::vector<std::string>& addresses, std::string& error);

// The model an IEEE 1284 device ID text names: its `MDL:` (or `MODEL:`) field, blanks trimmed;
// empty when it has none.
std::string ModelOfDeviceId(const std::string& deviceId);
