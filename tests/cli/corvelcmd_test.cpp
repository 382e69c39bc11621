// corvelcmd through its main: arguments in, standard output, standard error and the exit code
// out, against the same simulated printers as the dialog's tests.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_machine.h"
#include "cli/child_list.h"
#include "cli/corvelcmd.h"
#include "cli/text.h"
#include "cli/report_json.h"
#include "host/clock.h"
#include "host/console.h"
#include "host/files.h"
#include "host/machine.h"
#include "host/network.h"
#include "host/ports.h"
#include "host/services.h"
#include "host/spooler.h"
#include "platform/unique_handle.h"
#include "support/cases.h"
#include "support/trace.h"

namespace {

using app_test::InstallNetworkPrinter;
using app_test::InstalledPrinter;

const wchar_t kOlder[] = L"TV Vexline Q5530n (older)";
const wchar_t kCurrent[] = L"TV Vexline Q5530n (current)";
const wchar_t kAsian[] = L"TV Vexline Q5530n (Asian panel)";

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome Cmd(const std::vector<std::string>& args, const std::string& input = "") {
  std::ostringstream out, err;
  std::istringstream in(input);
  int code = RunCorvelCmd(args, out, err, in);
  return {code, out.str(), err.str()};
}

simprinter::PrinterSettings Version(uint32_t version) {
  simprinter::PrinterSettings settings;
  settings.version = version;
  return settings;
}

simprinter::FaultRule StatusFault(uint16_t command, uint16_t status) {
  simprinter::FaultRule rule;
  rule.command = command;
  rule.faults.status = status;
  return rule;
}

// A fresh machine with the program and the standard images but the Asian network model's; in a
// table, the start of the case `label` (the case before must have left nothing open).
void PrepareMachine(const std::string& label = "") {
  testing_support::NextCase(label);
  app_test::PrepareProgram();
  // No progress window to wait for here; the burn's progress ticker waits on the host clock alone.
  host::clock::SetMinimumObjectWait(std::chrono::milliseconds(0));
  for (const wchar_t* image : {L"TVQ5530n.bin", L"TVQ5530.bin", L"TVQ5530A.bin"}) app_test::WriteImage(image, "216");
}

// OpenSSL's SHA-256 of bytes, lower-case hex: the reference the program's digests are held to.
std::string ReferenceSha256(const std::string& bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) hex += {kDigits[byte >> 4], kDigits[byte & 0x0F]};
  return hex;
}

// The bytes of a file on the simulated drive.
std::string FileBytes(const std::wstring& windowsPath) {
  std::ifstream file(host::HostPathOf(windowsPath), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The cells of the table row (or summary row) of the printer: the line that starts with its
// name, cut at runs of two or more blanks. Empty when there is no such row.
std::vector<std::string> RowOf(const std::string& text, const wchar_t* name) {
  std::string wanted(name, name + std::wcslen(name));
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(wanted + "  ", 0) != 0) continue;
    std::vector<std::string> cells;
    for (size_t at = 0; at < line.size();) {
      size_t gap = line.find("  ", at);
      cells.push_back(line.substr(at, gap - at));
      if (gap == std::string::npos) break;
      at = line.find_first_not_of(' ', gap);
    }
    return cells;
  }
  return {};
}

std::string SummaryOf(const std::string& out) {
  size_t at = out.find("\nSummary\n");
  return at == std::string::npos ? std::string() : out.substr(at);
}

using Cells = std::vector<std::string>;

std::string Utf8Of(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(CorvelCmd, EachExitCode) {
  struct Case {
    const char* name;
    std::function<void(std::vector<InstalledPrinter>&, platform::UniqueKernelHandle&)> setUp;
    std::vector<std::string> args;
    int code;
    const char* output;  // a text in standard output or standard error
    std::string input = "";
    int burns = 0;  // burns the printers received
  };
  auto older = [](std::vector<InstalledPrinter>& p, platform::UniqueKernelHandle&) {
    p.push_back(InstallNetworkPrinter(kOlder));
  };
  const Case cases[] = {
      {"help", nullptr, {"--help"}, EXIT_DONE, "7  at least one printer could not be reached"},
      {"version", nullptr, {"--version"}, EXIT_DONE, "corvelcmd " CORVEL_EXPECTED_VERSION},
      {"unknown command", nullptr, {"erase"}, EXIT_USAGE, "Run with --help"},
      {"update without printers", older, {"update", "--dry-run"}, EXIT_USAGE, "--address ADDRESS, or give --all"},
      {"--all beside --printer", older, {"update", "--all", "--printer", "x"}, EXIT_USAGE, "excludes"},
      {"a burn unasked without a terminal", older, {"update", "--all"}, EXIT_USAGE, "give --yes"},
      {"not elevated", [](auto&, auto&) { host::console::SetElevated(false); }, {"list"}, EXIT_NOT_ELEVATED,
       "run it from an elevated command prompt"},
      {"the dialog runs",
       [](auto&, platform::UniqueKernelHandle& held) { held.reset(CreateMutexW(nullptr, TRUE, L"TVQ5530CORVLexists")); },
       {"list"}, EXIT_ALREADY_RUNNING, "Another instance of this program is already running."},
      {"no printer", nullptr, {"list"}, EXIT_NO_PRINTER, "No printers found."},
      {"named printer missing", older, {"update", "--printer", "TV Vexline Q5530n", "--dry-run"}, EXIT_NO_PRINTER,
       "Printer not found: TV Vexline Q5530n"},
      {"already current", [](auto& p, auto&) { p.push_back(InstallNetworkPrinter(kCurrent, Version(216))); },
       {"update", "--all", "--yes"}, EXIT_DONE, "Firmware is current. No need to update at this time."},
      {"image missing",
       [](auto& p, auto&) {
         p.push_back(InstallNetworkPrinter(kCurrent, Version(216)));
         simprinter::PrinterSettings asian;
         asian.culture = "ASIAN";
         p.push_back(InstallNetworkPrinter(kAsian, asian));
       },
       {"update", "--all", "--yes"}, EXIT_SKIPPED,
       "This Utility does not support a Network Printer with Asian Control Panel."},
      {"burn refused",
       [](auto& p, auto&) {
         p.push_back(InstallNetworkPrinter(kOlder));
         p.back().printer().AddFault(StatusFault(simprinter::kCmdBurnFlash, 2));
       },
       {"update", "--printer", "TV Vexline Q5530n (older)", "--yes"}, EXIT_UPDATE_FAILED,
       "Firmware download was not successful.", "", 1},
      {"declined at the terminal",
       [](auto& p, auto&) {
         p.push_back(InstallNetworkPrinter(kOlder));
         host::console::SetInputIsConsole(true);
       },
       {"update", "--all"}, EXIT_UPDATE_FAILED, "Nothing was updated.", "n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareMachine(c.name);
    std::vector<InstalledPrinter> printers;
    platform::UniqueKernelHandle held;
    if (c.setUp) c.setUp(printers, held);
    Outcome run = Cmd(c.args, c.input);
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(c.output), std::string::npos) << run.out << run.err;
    int burns = 0;
    for (InstalledPrinter& p : printers) burns += p.printer().Model().BurnCount();
    EXPECT_EQ(burns, c.burns);
  }
}

TEST(CorvelCmd, ListAsJsonHasEachPrinterWithItsImageAndDecision) {
  PrepareMachine();
  auto older = InstallNetworkPrinter(kOlder);
  auto current = InstallNetworkPrinter(kCurrent, Version(216));
  simprinter::PrinterSettings asian;
  asian.culture = "ASIAN";
  auto asianPanel = InstallNetworkPrinter(kAsian, asian);

  Outcome run = Cmd({"list", "--json"});
  ASSERT_EQ(run.code, EXIT_DONE) << run.err;
  nlohmann::json document = nlohmann::json::parse(run.out);
  ASSERT_EQ(document["printers"].size(), 3u);
  EXPECT_TRUE(document["errors"].empty());

  const nlohmann::json& first = document["printers"][0];
  EXPECT_EQ(first["name"], "TV Vexline Q5530n (older)");
  EXPECT_EQ(first["connection"], "Network");
  EXPECT_EQ(first["address"], older.network->address());
  EXPECT_EQ(first["firmware"], "215");
  EXPECT_EQ(first["image"], "TVQ5530n.bin");
  EXPECT_EQ(first["image_version"], "216");
  EXPECT_EQ(first["decision"], "update");
  EXPECT_TRUE(first["message"].is_null());
  EXPECT_TRUE(first["error"].is_null());

  EXPECT_EQ(document["printers"][1]["decision"], "current");
  EXPECT_EQ(document["printers"][1]["message"], "Firmware is current. No need to update at this time.");

  const nlohmann::json& third = document["printers"][2];
  EXPECT_EQ(third["decision"], "unsupported");
  EXPECT_TRUE(third["image"].is_null());
  EXPECT_EQ(third["error"]["code"], EXIT_SKIPPED);
  EXPECT_EQ(third["error"]["message"], "This Utility does not support a Network Printer with Asian Control Panel.");

  // The table shows the same.
  Outcome table = Cmd({"list"});
  EXPECT_EQ(table.code, EXIT_DONE);
  EXPECT_EQ(RowOf(table.out, kOlder),
            (Cells{"TV Vexline Q5530n (older)", "Network", older.network->address(), "215", "TVQ5530n.bin", "216", "update"}));
  EXPECT_EQ(RowOf(table.out, kAsian).back(), "This Utility does not support a Network Printer with Asian Control Panel.");
  for (auto* p : {&older, &current, &asianPanel}) EXPECT_EQ(p->printer().Model().BurnCount(), 0);
}

TEST(CorvelCmd, AListWithJobsGivesTheSameDocumentAndAChildListsItsOnePrinter) {
  PrepareMachine();
  auto older = InstallNetworkPrinter(kOlder);
  auto current = InstallNetworkPrinter(kCurrent, Version(216));
  Outcome sequential = Cmd({"list", "--json"});
  ASSERT_EQ(sequential.code, EXIT_DONE);

  // The host runs no child process: each printer is then queried by the parent itself.
  Outcome jobs = Cmd({"list", "--json", "--jobs", "4"});
  EXPECT_EQ(jobs.code, EXIT_DONE) << jobs.err;
  EXPECT_EQ(jobs.out, sequential.out);
  int refusedStarts = 0;
  for (const std::wstring& line : testing_support::TraceTexts()) {
    refusedStarts += line.find(L"CreateProcessW (the query of TV Vexline Q5530n") != std::wstring::npos;
  }
  EXPECT_EQ(refusedStarts, 2);
  EXPECT_EQ(host::CallCount("CreateProcessW"), 2);

  // Whichever step of a child's start fails, the parent queries each printer itself.
  for (const char* step : {"CreatePipe", "SetHandleInformation"}) {
    SCOPED_TRACE(step);
    host::FailCall(step, ERROR_ACCESS_DENIED, 2);
    int processesBefore = host::CallCount("CreateProcessW");
    Outcome failedStart = Cmd({"list", "--json", "--jobs", "2"});
    EXPECT_EQ(failedStart.code, EXIT_DONE) << failedStart.err;
    EXPECT_EQ(failedStart.out, sequential.out);
    EXPECT_EQ(host::CallCount("CreateProcessW"), processesBefore);
  }

  // A child: the one printer, without the single-instance mutex (its parent holds it).
  platform::UniqueKernelHandle parent(CreateMutexW(nullptr, TRUE, L"TVQ5530CORVLexists"));
  Outcome child = Cmd({"list", kChildOption, "TV Vexline Q5530n (current)"});
  EXPECT_EQ(child.code, EXIT_DONE) << child.err;
  std::vector<PrinterReport> printers;
  ASSERT_TRUE(ReadListDocument(child.out, printers)) << child.out;
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].name, kCurrent);
  EXPECT_EQ(printers[0].kind, CONNECTION_NETWORK);
  EXPECT_EQ(Utf8Of(printers[0].address), current.network->address());
  EXPECT_EQ(printers[0].firmware, "216");
  EXPECT_EQ(printers[0].image, "TVQ5530n.bin");
  EXPECT_EQ(printers[0].imageVersion, "216");
  EXPECT_EQ(printers[0].decision, Decision::Current);
  EXPECT_EQ(printers[0].message, "Firmware is current. No need to update at this time.");
  // A printer the list would leave out gives an empty document, and a document that is none is refused.
  Outcome none = Cmd({"list", kChildOption, "TV Vexline Q5530n (gone)"});
  EXPECT_EQ(none.code, EXIT_NO_PRINTER);
  printers.clear();
  EXPECT_TRUE(ReadListDocument(none.out, printers));
  EXPECT_TRUE(printers.empty());
  EXPECT_FALSE(ReadListDocument("Usage: corvelcmd", printers));
}

TEST(CorvelCmd, UpdatingOnePrinterAmongSeveralShowsItsNewVersion) {
  PrepareMachine();
  auto current = InstallNetworkPrinter(kCurrent, Version(216));
  auto older = InstallNetworkPrinter(kOlder);

  Outcome run = Cmd({"update", "--printer", "TV Vexline Q5530n (older)", "--yes"});
  EXPECT_EQ(run.code, EXIT_DONE) << run.out << run.err;
  EXPECT_EQ(older.printer().Model().Version(), 216u);
  EXPECT_EQ(current.printer().Model().BurnCount(), 0);
  // Each stage on standard error with the time since the printer's run began; the burn and its
  // waits go on visibly.
  EXPECT_NE(run.err.find("s] Checking the current state of the Printer ..."), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("s] "), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("s] Downloading new Firmware ..."), std::string::npos);
  EXPECT_NE(run.err.find("s] ... the burn goes on; do not switch the printer off"), std::string::npos);
  EXPECT_NE(run.err.find("s] Burned; the printer restarts with its new firmware (35 s)"), std::string::npos);
  // The summary: the updated printer alone, with its version before and after.
  std::string summary = SummaryOf(run.out);
  EXPECT_TRUE(RowOf(summary, kCurrent).empty());
  const std::string sha = ReferenceSha256(FileBytes(std::wstring(app_test::kProgramDirectory) + L"TVQ5530n.bin"));
  EXPECT_EQ(RowOf(summary, kOlder),
            (Cells{"TV Vexline Q5530n (older)", "Network", "215", "216", sha.substr(0, 12), "216", "-- Updated --"}))
      << run.out;
}

// The JSON and the trace identify the image by the SHA-256 of the bytes the printer received; a
// hash that cannot be made leaves the record null and the burn goes on.
TEST(CorvelCmd, AnUpdateRecordsTheBurnedImagesSha256AndSize) {
  struct Case {
    const char* name;
    const char* failing;  // a CryptoAPI call made to fail once, or null
  };
  for (const Case& c : {Case{"hashed", nullptr}, Case{"CryptCreateHash fails", "CryptCreateHash"}}) {
    PrepareMachine(c.name);
    // An image of an odd size, so that a size or a digest of something else shows.
    app_test::WriteImage(L"TVQ5530n.bin", "216", 5001);
    auto current = InstallNetworkPrinter(kCurrent, Version(216));
    auto older = InstallNetworkPrinter(kOlder);
    // The current printer's record is made first, from the file: the fault waits for the burn's.
    if (c.failing) host::FailCall(c.failing, static_cast<DWORD>(NTE_FAIL), 1, 1);

    Outcome run = Cmd({"update", "--all", "--yes", "--json"});
    ASSERT_EQ(run.code, EXIT_DONE) << run.out << run.err;
    const std::vector<uint8_t> flash = older.printer().Model().Flash();
    const std::string burned(flash.begin(), flash.end());
    const std::string file = FileBytes(std::wstring(app_test::kProgramDirectory) + L"TVQ5530n.bin");
    ASSERT_EQ(burned, file);
    const std::string sha = ReferenceSha256(file);

    nlohmann::json document = nlohmann::json::parse(run.out);
    const nlohmann::json& current_ = document["printers"][0];
    const nlohmann::json& updated = document["printers"][1];
    EXPECT_EQ(updated["result"], "updated");
    EXPECT_EQ(updated["image_size"], file.size());
    // The current printer's entry has the file read once: the same record.
    EXPECT_EQ(current_["image_sha256"], sha);
    EXPECT_EQ(current_["image_size"], file.size());
    const std::wstring burnLine = std::wstring(kOlder) + L": burning TVQ5530n.bin, " + std::to_wstring(file.size()) +
                                  L" bytes, SHA-256 ";
    if (c.failing) {
      EXPECT_TRUE(updated["image_sha256"].is_null()) << run.out;
      EXPECT_TRUE(testing_support::Traced(burnLine + L"unknown"));
      EXPECT_TRUE(testing_support::Traced(L"SHA-256 of TVQ5530n.bin: CryptCreateHash failed (error 0x80090020)"));
    } else {
      EXPECT_EQ(updated["image_sha256"], sha);
      EXPECT_EQ(testing_support::TraceCount(burnLine + std::wstring(sha.begin(), sha.end())), 1);
    }
    // A parallel update's child hands its entry to the parent as this document: the record survives.
    std::vector<PrinterReport> read;
    ASSERT_TRUE(ReadUpdateDocument(run.out, read));
    EXPECT_EQ(read[1].imageSha256, c.failing ? "" : sha);
    EXPECT_EQ(read[1].imageSize, static_cast<long long>(file.size()));
  }
}

TEST(CorvelCmd, ADryRunDecidesAndWritesNothing) {
  PrepareMachine();
  auto older = InstallNetworkPrinter(kOlder);
  auto current = InstallNetworkPrinter(kCurrent, Version(216));

  Outcome run = Cmd({"update", "--all", "--dry-run"});
  EXPECT_EQ(run.code, EXIT_DONE) << run.err;
  EXPECT_EQ(older.printer().Model().BurnCount(), 0);
  for (uint16_t command : older.printer().Commands()) EXPECT_NE(command, simprinter::kCmdBurnFlash);
  std::string summary = SummaryOf(run.out);
  const std::string sha = ReferenceSha256(FileBytes(std::wstring(app_test::kProgramDirectory) + L"TVQ5530n.bin"));
  EXPECT_EQ(RowOf(summary, kOlder),
            (Cells{"TV Vexline Q5530n (older)", "Network", "215", "216", sha.substr(0, 12), "-", "update (dry run)"}))
      << run.out;
  EXPECT_EQ(RowOf(summary, kCurrent).back(), "current");
  EXPECT_EQ(testing_support::TraceCount(L"_DownloadFirmware()"), 0);
}

TEST(CorvelCmd, CtrlCStopsBeforeABurnAndIsRefusedDuringOne) {
  struct Case {
    const char* name;
    uint16_t command;  // Ctrl+C arrives when the first printer receives this command
    int code;
    const char* message;
    uint32_t firstVersion, secondVersion;
  };
  const Case cases[] = {
      {"before the burn", simprinter::kCmdGetBuildInfo, EXIT_UPDATE_FAILED,
       "Stopping: no further printer will be updated.", 215, 215},
      {"during the burn", simprinter::kCmdBurnFlash, EXIT_UPDATE_FAILED,
       "A firmware burn is in progress and cannot be interrupted", 216, 215},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareMachine(c.name);
    auto first = InstallNetworkPrinter(kOlder);
    auto second = InstallNetworkPrinter(L"TV Vexline Q5530n (second)");
    bool sent = false, handled = false;
    first.printer().OnEvent([&](const simprinter::Event& event) {
      if (event.kind == simprinter::Event::kCommand && event.command == c.command && !sent) {
        sent = true;
        handled = host::console::SendCtrlEvent(CTRL_C_EVENT);
      }
    });
    Outcome run = Cmd({"update", "--all", "--yes"});
    EXPECT_TRUE(sent);
    EXPECT_TRUE(handled);  // the process was not ended
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(first.printer().Model().Version(), c.firstVersion);
    EXPECT_EQ(second.printer().Model().Version(), c.secondVersion);
    // The printer not run is named as stopped in the summary.
    Cells notRun = RowOf(SummaryOf(run.out), L"TV Vexline Q5530n (second)");
    ASSERT_FALSE(notRun.empty()) << run.out;
    EXPECT_EQ(notRun.back(), "stopped");
    first.printer().OnEvent(nullptr);
  }
  // Without corvelcmd running, Ctrl+C reaches the default handler.
  EXPECT_FALSE(host::console::SendCtrlEvent(CTRL_C_EVENT));
  EXPECT_EQ(host::console::DefaultHandlerRuns(), 1);
}

TEST(CorvelCmd, TheLogFileHoldsTheTraceWithTimestamps) {
  PrepareMachine();
  auto older = InstallNetworkPrinter(kOlder);
  host::clock::SetLocalTime(SYSTEMTIME{2026, 12, 3, 9, 4, 5, 6, 7});

  Outcome run = Cmd({"--log", "C:\\corvel.log", "list"});
  ASSERT_EQ(run.code, EXIT_DONE) << run.err;
  std::istringstream lines(host::ReadFile(L"C:\\corvel.log"));
  std::vector<std::string> logged;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) logged.push_back(line);
  }
  ASSERT_GT(logged.size(), 10u);
  for (const std::string& line : logged) EXPECT_EQ(line.rfind("[12- 9-2026  4:", 0), 0u) << line;
  EXPECT_NE(logged[0].find("]- CORVL("), std::string::npos) << logged[0];
  EXPECT_NE(logged[0].find("): corvelcmd " CORVEL_EXPECTED_VERSION), std::string::npos) << logged[0];
  EXPECT_NE(host::ReadFile(L"C:\\corvel.log").find("): ++ Adding TV Vexline Q5530n (older) to printer list"),
            std::string::npos);
  // A run without --log writes no file.
  host::WriteFile(L"C:\\corvel.log", "");
  EXPECT_EQ(Cmd({"list"}).code, EXIT_DONE);
  EXPECT_EQ(host::ReadFile(L"C:\\corvel.log"), "");
}

// --- Fleets: every printer accounted for, results a script can read, printers by address.

const wchar_t kSilent[] = L"TV Vexline Q5530n (not answering)";

// A network printer that takes every connection and never replies.
InstalledPrinter InstallSilent() {
  InstalledPrinter printer = InstallNetworkPrinter(kSilent);
  simprinter::FaultRule rule;
  rule.faults.silent = true;
  printer.printer().AddFault(rule);
  return printer;
}

simprinter::PrinterSettings Asian() {
  simprinter::PrinterSettings settings;
  settings.culture = "ASIAN";
  return settings;
}

nlohmann::json Parsed(const Outcome& run) {
  nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
  EXPECT_FALSE(document.is_discarded()) << "standard output is not one JSON document:\n" << run.out;
  return document;
}

// The entry of the printer in a document's "printers", or null.
nlohmann::json EntryOf(const nlohmann::json& document, const std::string& name) {
  if (!document.is_object() || !document["printers"].is_array()) return nullptr;
  for (const nlohmann::json& entry : document["printers"]) {
    if (entry["name"] == name) return entry;
  }
  return nullptr;
}

TEST(CorvelCmd, AListWithAPrinterThatCannotBeDecidedFails) {
  PrepareMachine();
  auto current = InstallNetworkPrinter(kCurrent, Version(216));
  auto older = InstallNetworkPrinter(kOlder);
  older.printer().AddFault(StatusFault(simprinter::kCmdGetBuildInfo, 0));  // answers its version only

  Outcome run = Cmd({"list", "--json"});
  EXPECT_EQ(run.code, EXIT_UPDATE_FAILED) << run.out << run.err;
  nlohmann::json entry = EntryOf(Parsed(run), Utf8Of(kOlder));
  EXPECT_EQ(entry["decision"], "error") << run.out;
  EXPECT_EQ(entry["error"]["code"], EXIT_UPDATE_FAILED);
  EXPECT_EQ(EntryOf(Parsed(run), Utf8Of(kCurrent))["decision"], "current");
}

TEST(CorvelCmd, AnUnreachablePrinterIsNamedWithWhyByListAndUpdate) {
  struct Case {
    const char* name;
    std::function<InstalledPrinter()> install;
    const char* reason;
  };
  const std::wstring kDriverName = app_test::kDriver;
  const Case cases[] = {
      {"no USB device behind the port",
       [&] {
         host::spooler::AddPrinter(host::spooler::Printer{std::wstring(kSilent), std::wstring(L"USB007"), kDriverName});
         return InstalledPrinter{};
       },
       "The USB device behind the printer's port was not found."},
      {"no address behind the port",
       [&] {
         host::ports::AddPort(host::ports::Port{L"IP_nowhere", L"Standard TCP/IP Port", L"Standard TCP/IP Port"});
         host::spooler::AddPrinter(host::spooler::Printer{std::wstring(kSilent), std::wstring(L"IP_nowhere"), kDriverName});
         return InstalledPrinter{};
       },
       "The printer's network address could not be found."},
      {"silent", [] { return InstallSilent(); },
       "No answer within the version query's time-out."},
      {"connect never completes", [] { return InstallNetworkPrinter(kSilent, {}, "", true); },
       "No answer within the version query's time-out."},
      {"connection refused",
       [] {
         InstalledPrinter printer = InstallNetworkPrinter(kSilent);
         printer.network.reset();  // nobody listens at its address any more
         return printer;
       },
       "The connection was refused or reset."},
      {"version refused",
       [] {
         InstalledPrinter printer = InstallNetworkPrinter(kSilent);
         printer.printer().AddFault(StatusFault(simprinter::kCmdGetVersion, 0));
         return printer;
       },
       "The version query failed."},
      {"parallel version refused",
       [] {
         InstalledPrinter printer = app_test::InstallParallelPrinter(kSilent);
         printer.printer().AddFault(StatusFault(simprinter::kCmdGetVersion, 0));
         return printer;
       },
       "The version query failed."},
  };
  const std::string name = Utf8Of(kSilent);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareMachine(c.name);
    auto current = InstallNetworkPrinter(kCurrent, Version(216));
    InstalledPrinter printer = c.install();

    Outcome list = Cmd({"list", "--json"});
    EXPECT_EQ(list.code, EXIT_UNREACHABLE) << list.out << list.err;
    nlohmann::json entry = EntryOf(Parsed(list), name);
    ASSERT_FALSE(entry.is_null()) << list.out;
    EXPECT_EQ(entry["decision"], "unreachable");
    EXPECT_EQ(entry["message"], c.reason);
    EXPECT_EQ(entry["error"], (nlohmann::json{{"code", EXIT_UNREACHABLE}, {"message", c.reason}}));
    EXPECT_EQ(entry["firmware"], "");
    EXPECT_EQ(EntryOf(Parsed(list), Utf8Of(kCurrent))["decision"], "current");

    // Named, it is unreachable (exit 7), not missing (exit 4).
    Outcome named = Cmd({"update", "--printer", name, "--yes", "--json"});
    EXPECT_EQ(named.code, EXIT_UNREACHABLE) << named.out << named.err;
    EXPECT_EQ(EntryOf(Parsed(named), name)["result"], "unreachable");
    Outcome all = Cmd({"update", "--all", "--yes"});
    EXPECT_EQ(all.code, EXIT_UNREACHABLE) << all.out << all.err;
    EXPECT_EQ(RowOf(SummaryOf(all.out), kSilent).back(), std::string("unreachable: ") + c.reason) << all.out;
  }
}

TEST(CorvelCmd, TheExitCodeOfAFleetFollowsItsWorstPrinter) {
  enum Member { kCurrentOne = 1, kOlderOne = 2, kAsianOne = 4, kSilentOne = 8, kFailingOne = 16 };
  struct Case {
    int fleet;
    int code;
  };
  const Case cases[] = {
      {kCurrentOne | kOlderOne, EXIT_DONE},
      {kCurrentOne | kAsianOne, EXIT_SKIPPED},
      {kAsianOne | kSilentOne, EXIT_UNREACHABLE},
      {kOlderOne | kSilentOne, EXIT_UNREACHABLE},
      {kFailingOne | kSilentOne | kAsianOne, EXIT_UPDATE_FAILED},
  };
  for (const Case& c : cases) {
    std::string label = "fleet " + std::to_string(c.fleet);
    SCOPED_TRACE(label);
    PrepareMachine(label);
    std::vector<InstalledPrinter> fleet;
    if (c.fleet & kCurrentOne) fleet.push_back(InstallNetworkPrinter(kCurrent, Version(216)));
    if (c.fleet & kOlderOne) fleet.push_back(InstallNetworkPrinter(kOlder));
    if (c.fleet & kAsianOne) fleet.push_back(InstallNetworkPrinter(kAsian, Asian()));
    if (c.fleet & kSilentOne) fleet.push_back(InstallSilent());
    if (c.fleet & kFailingOne) {
      fleet.push_back(InstallNetworkPrinter(L"TV Vexline Q5530n (failing)"));
      fleet.back().printer().AddFault(StatusFault(simprinter::kCmdBurnFlash, 2));
    }
    Outcome run = Cmd({"update", "--all", "--yes", "--json"});
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    // Every printer is in the document, each with the code it stands for.
    nlohmann::json document = Parsed(run);
    ASSERT_EQ(document["printers"].size(), fleet.size()) << run.out;
    int worst = EXIT_DONE;
    for (const nlohmann::json& entry : document["printers"]) {
      int one = entry["error"].is_null() ? EXIT_DONE : entry["error"]["code"].get<int>();
      if (one == EXIT_UPDATE_FAILED || (one == EXIT_UNREACHABLE && worst != EXIT_UPDATE_FAILED) ||
          (one == EXIT_SKIPPED && worst == EXIT_DONE)) {
        worst = one;
      }
    }
    EXPECT_EQ(worst, c.code);
  }
}

TEST(CorvelCmd, AParallelPrinterWhoseSpoolerStopFailsIsUnreachableNotCurrent) {
  PrepareMachine();
  auto parallel = app_test::InstallParallelPrinter(L"TV Vexline Q5530n (parallel)");
  // Listed fine; from its build information on, a spooler stop never completes.
  parallel.printer().OnEvent([](const simprinter::Event& event) {
    if (event.kind == simprinter::Event::kCommand && event.command == simprinter::kCmdGetBuildInfo) {
      host::services::ScriptStop(L"Spooler", {host::services::Phase{SERVICE_STOP_PENDING, 1, 3000, 1000},
                                              host::services::Phase{SERVICE_RUNNING}});
    }
  });
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list", "--json"}, std::vector<std::string>{"update", "--all", "--yes", "--json"}}) {
    SCOPED_TRACE(args[0]);
    host::services::ScriptStop(L"Spooler", {host::services::Phase{SERVICE_STOP_PENDING, 1, 3000, 500},
                                            host::services::Phase{SERVICE_STOPPED}});
    Outcome run = Cmd(args);
    EXPECT_EQ(run.code, EXIT_UNREACHABLE) << run.out << run.err;
    nlohmann::json entry = EntryOf(Parsed(run), "TV Vexline Q5530n (parallel)");
    EXPECT_EQ(entry[args[0] == "list" ? "decision" : "result"], "unreachable") << run.out;
    EXPECT_EQ(entry["message"], "The version query failed.");
  }
  EXPECT_EQ(parallel.printer().Model().BurnCount(), 0);
  parallel.printer().OnEvent(nullptr);
}

TEST(CorvelCmd, UpdatingANamedPrinterAsksNoOtherAndItsDocumentIsTheWholeOutput) {
  PrepareMachine();
  auto current = InstallNetworkPrinter(kCurrent, Version(216));
  auto silent = InstallSilent();
  auto older = InstallNetworkPrinter(kOlder);
  auto asian = InstallNetworkPrinter(kAsian, Asian());

  Outcome run = Cmd({"update", "--printer", Utf8Of(kOlder), "--printer", Utf8Of(kAsian), "--yes", "--json"});
  EXPECT_EQ(run.code, EXIT_SKIPPED) << run.out << run.err;
  EXPECT_TRUE(current.printer().Commands().empty());
  EXPECT_TRUE(silent.printer().Commands().empty());
  nlohmann::json document = Parsed(run);
  EXPECT_TRUE(document["errors"].empty());
  ASSERT_EQ(document["printers"].size(), 2u);
  const nlohmann::json& updated = document["printers"][0];
  std::vector<std::string> keys;
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(run.out)["printers"][0];
  for (auto it = ordered.begin(); it != ordered.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"name", "connection", "address", "firmware_before", "image", "image_version",
                                            "image_sha256", "image_size", "result", "firmware_after", "seconds",
                                            "message", "error"}));
  EXPECT_EQ(updated["name"], Utf8Of(kOlder));
  EXPECT_EQ(updated["address"], older.network->address());
  EXPECT_EQ(updated["firmware_before"], "215");
  EXPECT_EQ(updated["image"], "TVQ5530n.bin");
  EXPECT_EQ(updated["image_version"], "216");
  EXPECT_EQ(updated["result"], "updated");
  EXPECT_EQ(updated["firmware_after"], "216");
  EXPECT_GE(updated["seconds"].get<double>(), 35.0);  // the fixed wait after a network burn
  EXPECT_TRUE(updated["message"].is_null());
  EXPECT_TRUE(updated["error"].is_null());
  const nlohmann::json& skipped = document["printers"][1];
  EXPECT_EQ(skipped["result"], "unsupported");
  EXPECT_TRUE(skipped["firmware_after"].is_null());
  EXPECT_EQ(skipped["error"]["code"], EXIT_SKIPPED);
  // The stages went to standard error.
  EXPECT_NE(run.err.find("s] Downloading new Firmware ..."), std::string::npos) << run.err;

  // Quiet: the summary alone, nothing on standard error; the printer is current now.
  Outcome quiet = Cmd({"update", "--printer", Utf8Of(kOlder), "--dry-run", "--quiet"});
  EXPECT_EQ(quiet.code, EXIT_DONE);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out.rfind("PRINTER  ", 0), 0u) << quiet.out;
  EXPECT_EQ(RowOf(quiet.out, kOlder).back(), "current");
}

TEST(CorvelCmd, PrintersByAddressAreUpdatedOnlyWhenTheyNameTheModel) {
  struct Case {
    const char* name;
    std::string model;     // the printer's model; empty: the supported one
    bool byHostName;
    const char* result;
    int code;
  };
  const Case cases[] = {
      {"by IPv4 address", "", false, "updated", EXIT_DONE},
      {"by host name, model in other case", "tv vexline q5530n mfp", true, "updated", EXIT_DONE},
      {"another model", "TV Vexline Q7700 MFP", false, "unsupported", EXIT_SKIPPED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareMachine(c.name);
    auto installed = InstallNetworkPrinter(kCurrent, Version(216));
    simprinter::PrinterSettings settings;
    if (!c.model.empty()) settings.model = c.model;
    testing_support::PrinterOnLoopback printer(settings);
    std::string given = printer.address();
    if (c.byHostName) {
      given = "printer7.fleet.example";
      host::network::SetHostAddresses(given, {printer.address()});
    }
    Outcome run = Cmd({"update", "--address", given, "--yes", "--json"});
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    nlohmann::json document = Parsed(run);
    ASSERT_EQ(document["printers"].size(), 1u) << run.out;  // the installed printer was not asked
    EXPECT_TRUE(installed.printer().Commands().empty());
    const nlohmann::json& entry = document["printers"][0];
    EXPECT_EQ(entry["name"], given);
    EXPECT_EQ(entry["address"], printer.address());
    EXPECT_EQ(entry["result"], c.result);
    if (std::string(c.result) == "updated") {
      EXPECT_EQ(entry["image"], "TVQ5530n.bin");
      EXPECT_EQ(printer.printer().Model().Version(), 216u);
    } else {
      EXPECT_EQ(entry["message"], "Its device ID names the model \"" + c.model +
                                      "\", not the supported TV Vexline Q5530n MFP: it is not updated.");
      // Nothing beyond the queries: its version and its device ID.
      EXPECT_EQ(printer.printer().Commands(), (std::vector<uint16_t>{simprinter::kCmdGetVersion, simprinter::kCmdGetDeviceId}));
    }
  }
}

TEST(CorvelCmd, AddressInputIsCheckedBeforeAnyPrinterIsAsked) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string file;  // written to C:\fleet.txt when not empty
    int code;
    const char* message;
  };
  testing_support::PrinterOnLoopback printer;
  const std::string address = printer.address();
  const Case cases[] = {
      {"a file of addresses", {"list", "--addresses-from", "C:\\fleet.txt", "--json"},
       "# the fleet\r\n\r\n" + address + "   # lab\r\n  " + address + "\r\n", EXIT_DONE, "\"decision\": \"update\""},
      {"a line that is no address", {"update", "--addresses-from", "C:\\fleet.txt", "--dry-run"},
       "# the fleet\n" + address + "\nprinter 9\n", EXIT_USAGE,
       "C:\\fleet.txt, line 3: \"printer 9\" is neither an IPv4 address nor a host name."},
      {"a file of comments", {"list", "--addresses-from", "C:\\fleet.txt"}, "# none yet\n\n", EXIT_USAGE,
       "The address file names no address: C:\\fleet.txt."},
      {"a missing file", {"list", "--addresses-from", "C:\\missing.txt"}, "", EXIT_USAGE,
       "The address file cannot be read: C:\\missing.txt (error 2)."},
      {"an address out of range", {"update", "--address", "127.0.0.300", "--dry-run"}, "", EXIT_USAGE,
       "--address: \"127.0.0.300\" is neither an IPv4 address nor a host name."},
      {"a host name that does not resolve", {"list", "--address", "gone.fleet.example"}, "", EXIT_UNREACHABLE,
       "unreachable: The printer's network address could not be found."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareMachine(c.name);
    if (!c.file.empty()) host::WriteFile(L"C:\\fleet.txt", c.file);
    Outcome run = Cmd(c.args);
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(c.message), std::string::npos) << run.out << run.err;
  }
  // The file's address was asked once, and the bad inputs asked nothing.
  std::vector<uint16_t> commands = printer.printer().Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), simprinter::kCmdGetVersion), 2);  // list, then its workflow
}

TEST(CorvelCmd, UpdateJobsRunNetworkPrintersInChildrenAndFailThoseThatCannotStart) {
  PrepareMachine();
  auto network = InstallNetworkPrinter(kOlder);
  auto usb = app_test::InstallUsbPrinter(L"TV Vexline Q5530n (USB)");
  // The host runs no program: the network printer's child cannot start.
  Outcome run = Cmd({"update", "--all", "--jobs", "3", "--yes", "--json"});
  EXPECT_EQ(run.code, EXIT_UPDATE_FAILED) << run.out << run.err;
  nlohmann::json document = Parsed(run);
  ASSERT_EQ(document["printers"].size(), 2u);
  EXPECT_EQ(document["printers"][0]["name"], Utf8Of(kOlder));  // the printers' order
  EXPECT_EQ(document["printers"][0]["result"], "failed");
  EXPECT_EQ(document["printers"][0]["message"], "Its update could not be started in a child process (error 50).");
  EXPECT_TRUE(network.printer().Commands().empty());  // never retried here
  EXPECT_EQ(document["printers"][1]["result"], "updated");
  EXPECT_EQ(usb.printer().Model().Version(), 216u);
}

TEST(CorvelCmd, TablesArePaddedByDisplayWidth) {
  struct Case {
    std::string text;
    size_t width;
  };
  const Case cases[] = {{"Network", 7}, {"東京 Łódź", 9}, {"ｶﾀｶﾅ", 4}, {"ＡＢ", 4}, {"e\xCC\x81", 1}, {"", 0}};
  for (const Case& c : cases) EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;

  PrepareMachine();
  auto wide = InstallNetworkPrinter(L"東京 Łódź", Version(216));
  auto plain = InstallNetworkPrinter(kOlder);
  Outcome run = Cmd({"list"});
  ASSERT_EQ(run.code, EXIT_DONE) << run.err;
  std::istringstream lines(run.out);
  std::vector<size_t> columns;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("Network") != std::string::npos) columns.push_back(DisplayWidth(line.substr(0, line.find("Network"))));
  }
  ASSERT_EQ(columns.size(), 2u) << run.out;
  EXPECT_EQ(columns[0], columns[1]) << run.out;
}

}  // namespace

TEST(CorvelCmd, ABadImageStopsTheRunBeforeAnyPrinter) {
  struct Case {
    const char* name;
    std::function<void()> spoil;
    const char* message;
  };
  const std::wstring western = app_test::kProgramDirectory + std::wstring(L"TVQ5530n.bin");
  const Case cases[] = {
      {"no image at all",
       [] {
         for (const wchar_t* image : {L"TVQ5530n.bin", L"TVQ5530.bin", L"TVQ5530A.bin"}) {
           std::remove(host::HostPathOf(app_test::kProgramDirectory + std::wstring(image)).c_str());
         }
       },
       "No firmware image was found beside the program."},
      {"empty", [&] { host::WriteFile(western, ""); }, "The firmware image TVQ5530n.bin is empty."},
      {"version 0", [] { app_test::WriteImage(L"TVQ5530n.bin", "0"); },
       "The firmware image TVQ5530n.bin carries no version."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareMachine(c.name);
    auto first = InstallNetworkPrinter(kOlder);
    auto second = InstallNetworkPrinter(L"TV Vexline Q5530n (second)");
    c.spoil();
    Outcome text = Cmd({"update", "--all", "--yes"});
    EXPECT_EQ(text.code, EXIT_SKIPPED) << text.out << text.err;
    EXPECT_EQ(text.err, std::string(c.message) + "\n");
    Outcome json = Cmd({"update", "--all", "--yes", "--json"});
    EXPECT_EQ(json.code, EXIT_SKIPPED);
    nlohmann::json document = Parsed(json);
    EXPECT_TRUE(document["printers"].empty());
    EXPECT_EQ(document["errors"][0]["message"], c.message);
    EXPECT_EQ(document["errors"][0]["code"], EXIT_SKIPPED);
    // No printer was asked anything.
    EXPECT_TRUE(first.printer().Commands().empty());
    EXPECT_TRUE(second.printer().Commands().empty());
  }
}

TEST(CorvelCmd, ABurnCountsOnlyWhenThePrinterThenReportsTheImagesVersion) {
  struct Case {
    const char* name;
    simprinter::ReplyFaults afterBurn;  // the version replies after the burn
    bool keepsOldVersion;               // the printer accepts the burn but goes on with 215
    const char* result;
    const char* message;
    int code;
  };
  simprinter::ReplyFaults silent;
  silent.silent = true;
  const Case cases[] = {
      {"reports the image's version", {}, false, "updated", nullptr, EXIT_DONE},
      {"still reports the old version", {}, true, "failed",
       "the printer reports version 215 after the burn; the image is 216", EXIT_UPDATE_FAILED},
      {"does not answer", silent, false, "unverified",
       "The burn was reported a success, but the printer did not answer its version afterwards.", EXIT_UPDATE_FAILED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareMachine(c.name);
    auto older = InstallNetworkPrinter(kOlder);
    simprinter::FaultRule rule;
    rule.command = simprinter::kCmdGetVersion;
    rule.skip = 2;  // the update's own query and the workflow's
    rule.faults = c.afterBurn;
    older.printer().AddFault(rule);
    simprinter::Printer& printer = older.printer();
    if (c.keepsOldVersion) {
      printer.OnEvent([&printer](const simprinter::Event& event) {
        if (event.kind == simprinter::Event::kBurnAccepted) printer.Model().SetVersion(215);
      });
    }
    Outcome run = Cmd({"update", "--all", "--yes", "--json"});
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    nlohmann::json entry = Parsed(run)["printers"][0];
    EXPECT_EQ(entry["result"], c.result);
    EXPECT_EQ(entry["message"], c.message ? nlohmann::json(c.message) : nlohmann::json());
    EXPECT_EQ(older.printer().Model().BurnCount(), 1);
  }
}

// A fleet of four older printers in this order: the second and third refuse their burn.
std::vector<InstalledPrinter> FleetWithTwoFailing() {
  std::vector<InstalledPrinter> fleet;
  for (const wchar_t* name : {L"TV Vexline Q5530n (1)", L"TV Vexline Q5530n (2)", L"TV Vexline Q5530n (3)",
                              L"TV Vexline Q5530n (4)"}) {
    fleet.push_back(InstallNetworkPrinter(name));
  }
  for (size_t failing : {1, 2}) fleet[failing].printer().AddFault(StatusFault(simprinter::kCmdBurnFlash, 2));
  return fleet;
}

std::vector<std::string> ResultsOf(const nlohmann::json& document) {
  std::vector<std::string> results;
  for (const nlohmann::json& entry : document["printers"]) results.push_back(entry["result"]);
  return results;
}

TEST(CorvelCmd, MaxFailuresStartsNoPrinterOnceTheLimitIsReached) {
  struct Case {
    std::vector<std::string> limit;
    std::vector<std::string> results;
    int burns;
    const char* reason;  // of the printers not started
  };
  const Case cases[] = {
      {{"--max-failures", "1"}, {"updated", "failed", "stopped", "stopped"}, 2,
       "not started: 1 update failed, the limit is 1"},
      {{"--max-failures", "2"}, {"updated", "failed", "failed", "stopped"}, 3,
       "not started: 2 updates failed, the limit is 2"},
      {{}, {"updated", "failed", "failed", "updated"}, 4, nullptr},
  };
  for (const Case& c : cases) {
    std::string label = c.limit.empty() ? "no limit" : "limit " + c.limit[1];
    SCOPED_TRACE(label);
    PrepareMachine(label);
    std::vector<InstalledPrinter> fleet = FleetWithTwoFailing();
    std::vector<std::string> args = {"update", "--all", "--yes", "--json"};
    args.insert(args.end(), c.limit.begin(), c.limit.end());
    Outcome run = Cmd(args);
    EXPECT_EQ(run.code, EXIT_UPDATE_FAILED) << run.out << run.err;
    nlohmann::json document = Parsed(run);
    EXPECT_EQ(ResultsOf(document), c.results);
    int burns = 0;
    for (InstalledPrinter& p : fleet) burns += p.printer().Model().BurnCount();
    EXPECT_EQ(burns, c.burns);
    if (c.reason) EXPECT_EQ(document["printers"][3]["message"], c.reason);
  }
}

TEST(CorvelCmd, MaxFailuresCountsUnreachableOnlyWhenAskedAndChildrenThatFail) {
  PrepareMachine("unreachable");
  auto silent = InstallSilent();
  auto older = InstallNetworkPrinter(kOlder);
  Outcome uncounted = Cmd({"update", "--all", "--yes", "--json", "--max-failures", "1"});
  EXPECT_EQ(ResultsOf(Parsed(uncounted)), (std::vector<std::string>{"unreachable", "updated"})) << uncounted.out;

  PrepareMachine("unreachable counted");
  auto silentAgain = InstallSilent();
  auto olderAgain = InstallNetworkPrinter(kOlder);
  Outcome counted = Cmd({"update", "--all", "--yes", "--json", "--max-failures", "1", "--count-unreachable"});
  EXPECT_EQ(counted.code, EXIT_UPDATE_FAILED);
  EXPECT_EQ(ResultsOf(Parsed(counted)), (std::vector<std::string>{"unreachable", "stopped"})) << counted.out;
  EXPECT_TRUE(olderAgain.printer().Commands().empty());

  // With --jobs the limit is checked as each child ends; here no child can start, which fails its
  // printer, and the USB printer after them is not started either.
  PrepareMachine("jobs");
  auto first = InstallNetworkPrinter(L"TV Vexline Q5530n (1)");
  auto second = InstallNetworkPrinter(L"TV Vexline Q5530n (2)");
  auto usb = app_test::InstallUsbPrinter(L"TV Vexline Q5530n (USB)");
  Outcome jobs = Cmd({"update", "--all", "--yes", "--json", "--jobs", "2", "--max-failures", "1"});
  nlohmann::json document = Parsed(jobs);
  EXPECT_EQ(ResultsOf(document), (std::vector<std::string>{"failed", "stopped", "stopped"})) << jobs.out;
  EXPECT_EQ(document["printers"][2]["message"], "not started: 1 update failed, the limit is 1");
  EXPECT_EQ(usb.printer().Model().BurnCount(), 0);
}

TEST(CorvelCmd, TheCanaryIsUpdatedAloneAndTheRestFollowOnlyWhenItIsVerified) {
  struct Case {
    const char* name;
    std::function<void(simprinter::Printer&)> canary;
    std::vector<std::string> results;
    int code;
    const char* error;  // the run's
  };
  const Case cases[] = {
      {"succeeds", [](simprinter::Printer&) {}, {"current", "updated", "updated", "updated"}, EXIT_DONE, nullptr},
      {"fails", [](simprinter::Printer& p) { p.AddFault(StatusFault(simprinter::kCmdBurnFlash, 2)); },
       {"current", "failed", "stopped", "stopped"}, EXIT_UPDATE_FAILED,
       "The canary TV Vexline Q5530n (1) was not updated: Firmware download was not successful."},
      {"reads back the old version",
       [](simprinter::Printer& p) {
         p.OnEvent([&p](const simprinter::Event& event) {
           if (event.kind == simprinter::Event::kBurnAccepted) p.Model().SetVersion(215);
         });
       },
       {"current", "failed", "stopped", "stopped"}, EXIT_UPDATE_FAILED,
       "The canary TV Vexline Q5530n (1) was not updated: the printer reports version 215 after the burn; the image "
       "is 216"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareMachine(c.name);
    std::vector<InstalledPrinter> fleet;
    fleet.push_back(InstallNetworkPrinter(kCurrent, Version(216)));  // needs no update: not the canary
    for (const wchar_t* name : {L"TV Vexline Q5530n (1)", L"TV Vexline Q5530n (2)", L"TV Vexline Q5530n (3)"}) {
      fleet.push_back(InstallNetworkPrinter(name));
    }
    c.canary(fleet[1].printer());
    Outcome run = Cmd({"update", "--all", "--yes", "--json", "--canary"});
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    nlohmann::json document = Parsed(run);
    EXPECT_EQ(ResultsOf(document), c.results) << run.out;
    if (c.error) {
      EXPECT_EQ(document["errors"][0]["message"], c.error);
      EXPECT_EQ(document["printers"][2]["message"], "not started: the canary TV Vexline Q5530n (1) was not updated");
      EXPECT_TRUE(fleet[2].printer().Commands().empty());
    } else {
      EXPECT_TRUE(document["errors"].empty());
    }
  }
}
