#include "cli/child_list.h"

#include <memory>

#include "app/firmware_workflow.h"
#include "cli/report_json.h"
#include "cli/text.h"
#include "diag/diag_log.h"
#include "platform/child_process.h"

namespace {

struct Slot {
  std::wstring name;     // an installed printer's name, or empty
  std::string address;   // or the address it was given by
  bool parallel = false;
  std::vector<PrinterReport> printers;  // what its query listed (none or one)
};

struct Running {
  size_t slot;
  std::unique_ptr<platform::ChildProcess> child;
};

std::wstring Label(const Slot& slot) { return slot.name.empty() ? Wide(slot.address) : slot.name; }

// The printer queried in this process, as a child would.
void QueryHere(Slot& slot, InterruptGuard& guard) {
  PrinterReport printer;
  if (!slot.name.empty() && !ListOnePrinter(slot.name, printer)) return;
  if (slot.name.empty()) printer = QueryAddressPrinter(slot.address);
  RunWorkflow(printer, WorkflowOptions{}, guard);
  slot.printers.push_back(printer);
}

void Reap(Running& running, std::vector<Slot>& slots, std::vector<std::string>& errors) {
  Slot& slot = slots[running.slot];
  std::string output;
  DWORD code = 0;
  bool finished = running.child->Finish(output, code);
  if (finished && (code == 0 || code == 4 || code == 7) && ReadListDocument(output, slot.printers)) return;
  slot.printers.clear();
  std::wstring label = Label(slot);
  errors.push_back("The query of " + Utf8(label.c_str()) + " ended with exit code " + std::to_string(code) + ".");
  DiagLog::Write(L"The query of %ls ended with exit code %lu", label.c_str(), static_cast<unsigned long>(code));
}

}  // namespace

std::wstring QuotedArgument(const std::wstring& argument) {
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

std::wstring ChildCommandStart(const std::string& logFile) {
  std::wstring program = platform::ProgramPath();
  if (program.empty()) return {};
  std::wstring start = L"\"" + program + L"\"";
  if (!logFile.empty()) start += L" --log " + QuotedArgument(Wide(logFile));
  return start;
}

ChildListing ListInChildren(int jobs, const std::vector<std::string>& addresses, const std::string& logFile,
                            InterruptGuard& guard) {
  std::vector<Slot> slots;
  if (addresses.empty()) {
    for (const std::wstring& name : InstalledPrinterNames()) {
      Slot slot;
      slot.name = name;
      slot.parallel = ConnectionKindOf(name.c_str()) == CONNECTION_PARALLEL;
      slots.push_back(slot);
    }
  }
  for (const std::string& address : addresses) {
    Slot slot;
    slot.address = address;
    slots.push_back(slot);
  }

  const std::wstring start = ChildCommandStart(logFile);
  ChildListing listing;
  std::vector<Running> running;
  auto reapOne = [&] { platform::ReapOne(running, [&](Running& ended) { Reap(ended, slots, listing.errors); }); };
  // The network and USB printers first, up to `jobs` at once; then each parallel one alone.
  for (bool parallelPhase : {false, true}) {
    const size_t limit = parallelPhase ? 1 : static_cast<size_t>(jobs);
    for (size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].parallel != parallelPhase) continue;
      while (running.size() >= limit) reapOne();
      if (guard.StopRequested()) break;
      std::wstring line = start + L" list --json " +
                          (slots[i].name.empty() ? Wide(kChildAddressOption) + L" " + QuotedArgument(Wide(slots[i].address))
                                                 : Wide(kChildOption) + L" " + QuotedArgument(slots[i].name));
      auto child = std::make_unique<platform::ChildProcess>();
      if (start.empty() || !child->Start(line)) {
        DiagLog::WriteError(::GetLastError(), L"CreateProcessW (the query of %ls)", Label(slots[i]).c_str());
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
