// The printer lab's scenario on the simulated host: the same printers and the same user steps
// that the lab runs with the real program under Wine, so that the two sessions' traces can be
// compared. Several network printers (older than the image, current, with an Asian panel and no
// image for it, behind a port named by a host name, silent, one that stops reading inside a burn),
// a USB and a parallel printer; the
// user lists them, downloads to each listed one in turn, and starts the program again to see the
// new versions. The machine is the lab's: its printer names and their order, its ports, its images;
// tools/lab/compare_traces.py compares the traces step by step.
//
// With LAB_SCENARIO_TRACE=<path> in the environment the session's trace texts are written to that
// file: one text a line, UTF-8, a line feed inside a text written as \n (as Wine shows it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app_machine.h"
#include "host/clock.h"
#include "host/ports.h"
#include "host/process.h"
#include "host/registry.h"
#include "image_builder.h"
#include "support/image_files.h"
#include "support/trace.h"

namespace {

using app_test::Box;
using app_test::RunningProgram;

enum class Kind { kNetwork, kUsb, kParallel };

struct LabPrinter {
  const wchar_t* name;
  Kind kind;
  uint32_t version;
  const char* culture;
  const char* hostName;  // network: the port's address is this name ("" for a dotted address)
  bool silent;           // never answers
  // What the user sees: the list's connection text (null: not listed), then the download's box
  // (null: none, the row reads "-- Updated --") and the version the printer has afterwards.
  const wchar_t* listedAs;
  const wchar_t* box;
  UINT boxFlags;
  uint32_t versionAfter;
  // Stops reading inside a burn. The lab downloads to it last, with an image of its own
  // (tests/wine/e2e.sh); here it is listed only.
  bool stalls = false;
};

// The lab's names, in the order Wine lists installed printers (by name).
const LabPrinter kLab[] = {
    {L"TV Vexline Q5530n (Asian panel)", Kind::kNetwork, 215, "ASIAN", "", false, L"Network",
     L"This Utility does not support a Network Printer with Asian Control Panel.", app_test::kBoxError, 215},
    {L"TV Vexline Q5530n (current)", Kind::kNetwork, 216, "WESTERN", "", false, L"Network",
     L"Firmware is current. No need to update at this time.", app_test::kBoxWarning, 216},
    {L"TV Vexline Q5530n (localhost)", Kind::kNetwork, 215, "WESTERN", "labprinter.example", false, L"Network",
     nullptr, 0, 216},
    {L"TV Vexline Q5530n (not answering)", Kind::kNetwork, 215, "WESTERN", "", true, nullptr, nullptr, 0, 215},
    {L"TV Vexline Q5530n (older)", Kind::kNetwork, 215, "WESTERN", "", false, L"Network", nullptr, 0, 216},
    {L"TV Vexline Q5530n (parallel)", Kind::kParallel, 215, "WESTERN", "", false, L"Parallel", nullptr, 0, 216},
    {L"TV Vexline Q5530n (stalling)", Kind::kNetwork, 215, "WESTERN", "", false, L"Network", nullptr, 0, 215, true},
    {L"TV Vexline Q5530n (USB)", Kind::kUsb, 215, "WESTERN", "", false, L"USB", nullptr, 0, 216},
};

// The lab's network ports are Local Port ports (Wine has no TCP/IP port monitor): the monitor does
// not know "IPAddress", and the address is a value of the port's key under the Local Port monitor.
// The machine has Wine's COM and FILE ports before them.
void AddLabPorts() {
  for (const wchar_t* port : {L"COM1:", L"COM2:", L"COM3:", L"COM4:", L"FILE:"}) {
    host::ports::AddPort(host::ports::Port{port, L"Local Port", L"Local Port"});
  }
}

void MakeLocalPort(const std::string& address) {
  std::wstring text(address.begin(), address.end());
  std::wstring port = L"IP_" + text;
  host::ports::RemovePort(port);
  host::ports::AddPort(host::ports::Port{port, L"Local Port", L"Local Port"});
  host::ports::FailIPAddress(port, ERROR_INVALID_PARAMETER);  // instead of the TCP/IP monitor's answer
  host::registry::SetString(L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port\\Ports\\" + port,
                            L"IPAddress", text);
}

app_test::InstalledPrinter Install(const LabPrinter& lab) {
  simprinter::PrinterSettings settings;
  settings.version = lab.version;
  settings.culture = lab.culture;
  app_test::InstalledPrinter installed =
      lab.kind == Kind::kUsb        ? app_test::InstallUsbPrinter(lab.name, settings)
      : lab.kind == Kind::kParallel ? app_test::InstallParallelPrinter(lab.name, settings)
                                    : app_test::InstallNetworkPrinter(lab.name, settings, lab.hostName);
  if (lab.kind == Kind::kNetwork) MakeLocalPort(*lab.hostName ? lab.hostName : installed.network->address());
  if (lab.stalls) {
    simprinter::ReadFaults stall;
    stall.stallAfter = 20000;
    installed.printer().SetReadFaults(stall);
  }
  if (lab.silent) {
    simprinter::FaultRule silence;
    silence.faults.silent = true;
    installed.printer().AddFault(silence);
  }
  return installed;
}

// `text` in UTF-8 on one line: a line feed becomes the two characters \n.
std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t wide : text) {
    auto c = static_cast<uint32_t>(wide);
    if (c == L'\n') {
      out += "\\n";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void WriteTraceWhenAsked() {
  const char* path = std::getenv("LAB_SCENARIO_TRACE");
  if (!path || !*path) return;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(file) << "cannot write " << path;
  for (const std::wstring& text : testing_support::TraceTexts()) file << Utf8(text) << '\n';
  ASSERT_TRUE(file.flush()) << "cannot write " << path;
}

using Rows = std::vector<std::vector<std::wstring>>;

// The rows the list should show: each listed printer with its kind and this version text.
Rows Listed(uint32_t LabPrinter::*version) {
  Rows rows;
  for (const LabPrinter& lab : kLab) {
    if (lab.listedAs) rows.push_back({lab.name, lab.listedAs, std::to_wstring(lab.*version)});
  }
  return rows;
}

TEST(LabScenario, EachPrinterIsListedAndDownloadedAsInTheLab) {
  app_test::PrepareProgram();
  // The lab's images: the standard ones at 216, without the one for an Asian-panel network printer.
  for (const fwimage::StandardImage& image : fwimage::StandardImages("216")) {
    if (image.fileName == "TVQ5530An.bin") continue;
    std::wstring fileName(image.fileName.begin(), image.fileName.end());
    testing_support::WriteImageFile(app_test::kProgramDirectory + fileName, image.layout);
  }
  AddLabPorts();
  std::vector<app_test::InstalledPrinter> printers;
  for (const LabPrinter& lab : kLab) printers.push_back(Install(lab));

  auto program = std::make_unique<RunningProgram>();
  ASSERT_EQ(program->Rows(), Listed(&LabPrinter::version));  // the silent one left out

  int row = 0;
  for (const LabPrinter& lab : kLab) {
    if (!lab.listedAs) continue;
    if (lab.stalls) {
      ++row;
      continue;
    }
    SCOPED_TRACE(testing::Message() << "download to " << Utf8(lab.name));
    program->Select(row);
    size_t boxesBefore = app_test::Boxes().size();
    host::clock::ClearWaits();
    program->Press(IDOK);
    program->WaitUntilSettled();

    std::vector<Box> boxes = app_test::Boxes();
    boxes.erase(boxes.begin(), boxes.begin() + static_cast<long>(boxesBefore));
    if (lab.box) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, lab.box);
      EXPECT_EQ(boxes[0].flags, lab.boxFlags);
      EXPECT_EQ(program->Rows()[row][2], std::to_wstring(lab.version));
    } else {
      EXPECT_TRUE(boxes.empty()) << Utf8(boxes.empty() ? L"" : boxes[0].text);
      EXPECT_EQ(program->Rows()[row][2], L"-- Updated --");
    }
    // A network download that ran is followed by 35 s on the host clock.
    std::vector<DWORD> sleeps = host::clock::WaitsOf("Sleep");
    bool networkBurn = lab.kind == Kind::kNetwork && !lab.box;
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 35000u), networkBurn ? 1 : 0);
    ++row;
  }
  // The parallel burn's printer-UI command named its printer.
  std::vector<host::process::Launch> launches = host::process::Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].commandLine, "rundll32.exe printui.dll,PrintUIEntry /y /n \"TV Vexline Q5530n (parallel)\"");
  program->Finish();

  for (size_t i = 0; i < printers.size(); ++i) {
    if (printers[i].network) printers[i].network->WaitForIdle();
    EXPECT_EQ(printers[i].printer().Model().Version(), kLab[i].versionAfter) << Utf8(kLab[i].name);
  }
  // Started again, the program lists the new versions.
  program = std::make_unique<RunningProgram>();
  EXPECT_EQ(program->Rows(), Listed(&LabPrinter::versionAfter));
  program->Finish();
  program.reset();

  WriteTraceWhenAsked();
}

}  // namespace
