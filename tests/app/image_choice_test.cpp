// Which image each printer is burned with: the four images that ship beside the program, each
// with a body of its own, the program's own table of file names and USB match texts, and every
// model and panel culture on each channel that carries that model, checked on the printer's side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app_machine.h"
#include "image_builder.h"
#include "support/cases.h"
#include "support/image_files.h"
#include "support/trace.h"

namespace {

using app_test::RunningProgram;

enum class Channel { Usb, Network, Parallel };

// The instance IDs of the two models' USB devices: their vendor and product IDs.
const wchar_t kNetworkModelDevice[] = L"USB\\VID_7E51&PID_A717\\SN0001";
const wchar_t kBaseModelDevice[] = L"USB\\VID_7E51&PID_A617\\SN0002";

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return text;
}

// The USB match text the program gave the engine for its first printer ("deviceID=<text>").
std::wstring MatchTextGiven() {
  for (const std::wstring& line : testing_support::TraceTexts()) {
    if (line.rfind(L"deviceID=", 0) == 0) return line.substr(9);
  }
  return L"";
}

// The name of the image whose bytes `flash` holds, or what it holds instead.
std::string BurnedImage(const std::vector<uint8_t>& flash, const std::map<std::string, std::vector<uint8_t>>& images) {
  for (const auto& image : images) {
    if (image.second == flash) return image.first;
  }
  return flash.empty() ? "nothing" : "bytes of no image";
}

TEST(ImageChoice, EachModelAndCultureIsBurnedWithItsOwnImageOnEveryChannel) {
  struct Case {
    const char* label;
    Channel channel;
    bool networkModel;
    const char* culture;
    const char* image;
  };
  const Case cases[] = {
      {"network, network model, Western", Channel::Network, true, "WESTERN", "TVQ5530n.bin"},
      {"network, network model, Asian", Channel::Network, true, "ASIAN", "TVQ5530An.bin"},
      {"USB, network model, Western", Channel::Usb, true, "WESTERN", "TVQ5530n.bin"},
      {"USB, network model, Asian", Channel::Usb, true, "ASIAN", "TVQ5530An.bin"},
      {"USB, base model, Western", Channel::Usb, false, "WESTERN", "TVQ5530.bin"},
      {"USB, base model, Asian", Channel::Usb, false, "ASIAN", "TVQ5530A.bin"},
      {"parallel, base model, Western", Channel::Parallel, false, "WESTERN", "TVQ5530.bin"},
      {"parallel, base model, Asian", Channel::Parallel, false, "ASIAN", "TVQ5530A.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    testing_support::NextCase(c.label);
    app_test::PrepareProgram();
    std::map<std::string, std::vector<uint8_t>> images;
    std::set<std::vector<uint8_t>> distinct;
    for (const fwimage::StandardImage& image : fwimage::StandardImages("216")) {
      std::string bytes = testing_support::WriteImageFile(
          app_test::kProgramDirectory + std::wstring(image.fileName.begin(), image.fileName.end()), image.layout);
      images[image.fileName].assign(bytes.begin(), bytes.end());
      distinct.insert(images[image.fileName]);
    }
    ASSERT_EQ(distinct.size(), 4u);

    simprinter::PrinterSettings settings;
    settings.model = c.networkModel ? "TV Vexline Q5530n MFP" : "TV Vexline Q5530 MFP";
    settings.culture = c.culture;
    // The name decides the USB match text: the network model's contains "TV Vexline Q5530n".
    const std::wstring name = c.networkModel ? L"TV Vexline Q5530n MFP" : L"TV Vexline Q5530 MFP";
    app_test::InstalledPrinter printer;
    if (c.channel == Channel::Usb) {
      printer = app_test::InstallUsbPrinter(name, settings, L"USB001",
                                            c.networkModel ? kNetworkModelDevice : kBaseModelDevice);
    } else if (c.channel == Channel::Network) {
      printer = app_test::InstallNetworkPrinter(name, settings);
    } else {
      printer = app_test::InstallParallelPrinter(name, settings);
    }

    RunningProgram program;
    ASSERT_EQ(program.Rows().size(), 1u);
    if (c.channel == Channel::Usb) {
      // Each model's match text names its own device's vendor and product, not the other's.
      const std::wstring match = Lower(MatchTextGiven());
      ASSERT_FALSE(match.empty());
      const std::wstring own = Lower(c.networkModel ? kNetworkModelDevice : kBaseModelDevice);
      const std::wstring other = Lower(c.networkModel ? kBaseModelDevice : kNetworkModelDevice);
      EXPECT_NE(own.find(match), std::wstring::npos);
      EXPECT_EQ(other.find(match), std::wstring::npos);
    }
    program.Select(0);
    program.Press(IDOK);
    program.WaitUntilSettled();
    EXPECT_TRUE(app_test::Boxes().empty()) << (app_test::Boxes().empty() ? "" : ::testing::PrintToString(app_test::Boxes()[0].text));
    EXPECT_EQ(program.Rows()[0][2], L"-- Updated --");
    EXPECT_EQ(BurnedImage(printer.printer().Model().Flash(), images), c.image);
    program.Finish();
  }
}

}  // namespace
