// The JSON documents of corvelcmd: `list --json` and `update --json` print one document of the
// same shape, {"printers": [...], "errors": [...]}, and read back a child's.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/fleet.h"

struct RunError {
  int code;
  std::string message;
};

// One printer of the list: name, connection, address, firmware, image, image_version,
// image_sha256, image_size, decision,
// message, error.
nlohmann::ordered_json ListEntry(const PrinterReport& printer);
// One printer of an update: name, connection, address, firmware_before, image, image_version,
// image_sha256, image_size, result, firmware_after, seconds, message, error.
nlohmann::ordered_json UpdateEntry(const PrinterReport& printer);
// The document, indented, with its line feed.
std::string Document(const std::vector<nlohmann::ordered_json>& printers, const std::vector<RunError>& errors);

// A child's document read back, list or update entries; false when it is not one.
bool ReadListDocument(const std::string& json, std::vector<PrinterReport>& printers);
bool ReadUpdateDocument(const std::string& json, std::vector<PrinterReport>& printers);

// What an update reports as a printer's result: "updated", "current", "update" (a dry run),
// "unsupported", "unreachable", "failed" or "stopped".
const char* ResultName(const PrinterReport& printer);
