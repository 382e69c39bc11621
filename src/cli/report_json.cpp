#include "cli/report_json.h"

#include <cmath>

#include "app/listed_printers.h"
#include "cli/text.h"

namespace {

using Json = nlohmann::ordered_json;

Json TextOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

std::string TextOf(const nlohmann::json& entry, const char* key) {
  auto it = entry.find(key);
  return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
}

ConnectionKind KindNamed(const std::string& name) {
  for (ConnectionKind kind : {CONNECTION_USB, CONNECTION_NETWORK, CONNECTION_PARALLEL}) {
    if (Wide(name) == ConnectionName(kind)) return kind;
  }
  return CONNECTION_NETWORK;
}

Json SizeOrNull(long long size) { return size < 0 ? Json() : Json(size); }

Json ErrorOf(const PrinterReport& printer, const std::string& text) {
  int code = ExitCodeOf(printer);
  if (code == 0) return Json();
  return Json{{"code", code}, {"message", text}};
}

// The fields both documents share, read back.
PrinterReport CommonOf(const nlohmann::json& entry) {
  PrinterReport printer;
  printer.name = Wide(TextOf(entry, "name"));
  printer.kind = KindNamed(TextOf(entry, "connection"));
  printer.address = Wide(TextOf(entry, "address"));
  printer.image = TextOf(entry, "image");
  printer.imageVersion = TextOf(entry, "image_version");
  printer.message = TextOf(entry, "message");
  printer.imageSha256 = TextOf(entry, "image_sha256");
  auto size = entry.find("image_size");
  if (size != entry.end() && size->is_number_integer()) printer.imageSize = size->get<long long>();
  return printer;
}

template <typename ReadEntry>
bool ReadDocument(const std::string& json, std::vector<PrinterReport>& printers, ReadEntry read) {
  nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
  if (document.is_discarded() || !document.is_object()) return false;
  auto list = document.find("printers");
  if (list == document.end() || !list->is_array()) return false;
  for (const nlohmann::json& entry : *list) {
    if (!entry.is_object()) return false;
    PrinterReport printer = CommonOf(entry);
    if (!read(entry, printer)) return false;
    printers.push_back(printer);
  }
  return true;
}

}  // namespace

const char* ResultName(const PrinterReport& printer) {
  return printer.decision == Decision::Error ? "failed" : DecisionName(printer.decision);
}

Json ListEntry(const PrinterReport& printer) {
  std::string shown = printer.message.empty() ? DecisionName(printer.decision) : printer.message;
  return Json{
      {"name", Utf8(printer.name.c_str())},
      {"connection", Utf8(ConnectionName(printer.kind))},
      {"address", Utf8(printer.address.c_str())},
      {"firmware", printer.firmware},
      {"image", TextOrNull(printer.image)},
      {"image_version", TextOrNull(printer.imageVersion)},
      {"image_sha256", TextOrNull(printer.imageSha256)},
      {"image_size", SizeOrNull(printer.imageSize)},
      {"decision", DecisionName(printer.decision)},
      {"message", TextOrNull(printer.message)},
      {"error", ErrorOf(printer, shown)},
  };
}

Json UpdateEntry(const PrinterReport& printer) {
  std::string shown = printer.message.empty() ? ResultName(printer) : printer.message;
  return Json{
      {"name", Utf8(printer.name.c_str())},
      {"connection", Utf8(ConnectionName(printer.kind))},
      {"address", Utf8(printer.address.c_str())},
      {"firmware_before", TextOrNull(printer.firmware)},
      {"image", TextOrNull(printer.image)},
      {"image_version", TextOrNull(printer.imageVersion)},
      {"image_sha256", TextOrNull(printer.imageSha256)},
      {"image_size", SizeOrNull(printer.imageSize)},
      {"result", ResultName(printer)},
      {"firmware_after", TextOrNull(printer.after)},
      {"seconds", std::round(printer.seconds * 10) / 10},
      {"message", TextOrNull(printer.message)},
      {"error", ErrorOf(printer, shown)},
  };
}

std::string Document(const std::vector<Json>& printers, const std::vector<RunError>& errors) {
  Json document = {{"printers", Json::array()}, {"errors", Json::array()}};
  for (const Json& printer : printers) document["printers"].push_back(printer);
  for (const RunError& error : errors) document["errors"].push_back(Json{{"code", error.code}, {"message", error.message}});
  return document.dump(2) + "\n";
}

bool ReadListDocument(const std::string& json, std::vector<PrinterReport>& printers) {
  return ReadDocument(json, printers, [](const nlohmann::json& entry, PrinterReport& printer) {
    printer.firmware = TextOf(entry, "firmware");
    return DecisionNamed(TextOf(entry, "decision"), printer.decision);
  });
}

bool ReadUpdateDocument(const std::string& json, std::vector<PrinterReport>& printers) {
  return ReadDocument(json, printers, [](const nlohmann::json& entry, PrinterReport& printer) {
    printer.firmware = TextOf(entry, "firmware_before");
    printer.after = TextOf(entry, "firmware_after");
    auto seconds = entry.find("seconds");
    if (seconds != entry.end() && seconds->is_number()) printer.seconds = seconds->get<double>();
    return DecisionNamed(TextOf(entry, "result"), printer.decision);
  });
}
