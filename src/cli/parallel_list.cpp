#include "cli/parallel_list.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "app/firmware_workflow.h"
#include "app/listed_printers.h"
#include "app/supported_drivers.h"
#include "cli/text.h"
#include "diag/diag_log.h"
#include "discovery/installed_printers.h"
#include "platform/child_process.h"

namespace {

// One argument as CommandLineToArgvW reads it back: quoted, with backslashes doubled before a
// quote and quotes escaped.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

struct Slot {
  std::wstring name;
  bool parallel = false;
  bool done = false;
  std::vector<PrinterReport> printers;  // what its query listed (none or one)
};

struct Running {
  size_t slot;
  std::unique_ptr<platform::ChildProcess> child;
};

Decision DecisionNamed(const std::string& name) {
  for (Decision d : {Decision::Update, Decision::Current, Decision::Unsupported, Decision::Error, Decision::Stopped,
                     Decision::Updated, Decision::Failed}) {
    if (name == DecisionName(d)) return d;
  }
  return Decision::Error;
}

ConnectionKind KindNamed(const std::string& name) {
  for (ConnectionKind kind : {CONNECTION_USB, CONNECTION_NETWORK, CONNECTION_PARALLEL}) {
    if (Wide(name) == ConnectionName(kind)) return kind;
  }
  return CONNECTION_NETWORK;
}

std::string TextOf(const nlohmann::json& value) { return value.is_string() ? value.get<std::string>() : std::string(); }

// The printer queried in this process, as a child would.
void QueryHere(Slot& slot, InterruptGuard& guard) {
  PrinterReport printer;
  if (ListOnePrinter(slot.name, printer)) {
    RunWorkflow(printer, WorkflowOptions{}, guard);
    slot.printers.push_back(printer);
  }
  slot.done = true;
}

void Reap(Running& running, std::vector<Slot>& slots, std::vector<std::string>& errors) {
  Slot& slot = slots[running.slot];
  std::string output;
  DWORD code = 0;
  bool finished = running.child->Finish(output, code);
  slot.done = true;
  if (finished && (code == 0 || code == 4) && ReadChildListing(output, slot.printers)) return;
  errors.push_back("The query of " + Utf8(slot.name.c_str()) + " ended with exit code " + std::to_string(code) + ".");
  DiagLog::Write(L"The query of %ls ended with exit code %lu", slot.name.c_str(), static_cast<unsigned long>(code));
}

}  // namespace

bool ReadChildListing(const std::string& json, std::vector<PrinterReport>& printers) {
  nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
  if (document.is_discarded() || !document.is_object() || !document["printers"].is_array()) return false;
  for (const nlohmann::json& entry : document["printers"]) {
    PrinterReport printer;
    printer.name = Wide(TextOf(entry["name"]));
    printer.kind = KindNamed(TextOf(entry["connection"]));
    printer.address = Wide(TextOf(entry["address"]));
    printer.firmware = TextOf(entry["firmware"]);
    printer.image = TextOf(entry["image"]);
    printer.imageVersion = TextOf(entry["image_version"]);
    printer.decision = DecisionNamed(TextOf(entry["decision"]));
    printer.message = TextOf(entry["message"]);
    printers.push_back(printer);
  }
  return true;
}

ChildListing ListInChildren(int jobs, const std::string& logFile, InterruptGuard& guard) {
  std::vector<std::wstring> driverNames;
  GetSupportedDriverNames(driverNames);
  std::vector<Slot> slots;
  InstalledPrinterList installed;
  wchar_t name[PRINTER_TEXT_CHARS] = {};
  for (int more = GetFirstInstalledPrinter(installed, name, driverNames); more;
       more = GetNextInstalledPrinter(installed, name)) {
    Slot slot;
    slot.name = name;
    slot.parallel = ConnectionKindOf(name) == CONNECTION_PARALLEL;
    slots.push_back(slot);
  }

  std::wstring program = platform::ProgramPath();
  std::wstring common = L"\"" + program + L"\"";
  if (!logFile.empty()) common += L" --log " + Quoted(Wide(logFile));
  common += L" list --json " + Wide(kChildOption) + L" ";

  ChildListing listing;
  std::vector<Running> running;
  auto reapOne = [&] {
    std::vector<HANDLE> processes;
    for (const Running& r : running) processes.push_back(r.child->Process());
    int ended = platform::WaitForAnyProcess(processes);
    size_t index = ended < 0 ? 0 : static_cast<size_t>(ended);  // a failed wait: the oldest
    Reap(running[index], slots, listing.errors);
    running.erase(running.begin() + static_cast<long>(index));
  };
  // The network and USB printers first, up to `jobs` at once; then each parallel one alone.
  for (bool parallelPhase : {false, true}) {
    const size_t limit = parallelPhase ? 1 : static_cast<size_t>(jobs);
    for (size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].parallel != parallelPhase) continue;
      while (running.size() >= limit) reapOne();
      if (guard.StopRequested()) break;
      auto child = std::make_unique<platform::ChildProcess>();
      if (program.empty() || !child->Start(common + Quoted(slots[i].name))) {
        DiagLog::WriteError(::GetLastError(), L"CreateProcessW (the query of %ls)", slots[i].name.c_str());
        QueryHere(slots[i], guard);
        continue;
      }
      running.push_back(Running{i, std::move(child)});
    }
    while (!running.empty()) reapOne();
  }

  for (const Slot& slot : slots) {
    listing.printers.insert(listing.printers.end(), slot.printers.begin(), slot.printers.end());
  }
  return listing;
}
