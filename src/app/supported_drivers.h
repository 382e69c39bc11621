// The printer drivers whose printers the program lists.
#pragma once

#include <string>
#include <vector>

// Empties `names`, then appends each comma-separated name of the supported driver list, trimmed
// of blanks at both ends, in order.
void GetSupportedDriverNames(std::vector<std::wstring>& names);
