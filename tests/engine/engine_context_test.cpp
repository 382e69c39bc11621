#include "engine/engine_context.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/debug_output.h"
#include "host/machine.h"
#include "support/trace.h"

namespace {

using testing_support::Traced;
using testing_support::TraceTexts;

class EngineContextTest : public ::testing::Test {
 protected:
  void SetUp() override { EngineContext() = FWDownloadContext{}; }
  FWDownloadContext& ctx = EngineContext();
};

TEST_F(EngineContextTest, UsbRecordLoadsDeviceAndInstance) {
  EXPECT_EQ(InitGlobals(CONNECTION_USB, L"vid_7e51&pid_a717", L"C:\\fw\\TVQ5530A.bin", L"USB\\VID_7E51&PID_A717\\X1"), 1);
  EXPECT_EQ(ctx.isUsb, 1);
  EXPECT_EQ(ctx.isNetwork, 0);
  EXPECT_EQ(ctx.isParallel, 0);
  EXPECT_STREQ(ctx.deviceID, L"vid_7e51&pid_a717");
  EXPECT_STREQ(ctx.PrinterName, L"");
  EXPECT_STREQ(ctx.deviceInstanceID, L"USB\\VID_7E51&PID_A717\\X1");
  EXPECT_STREQ(ctx.binFilePath, L"C:\\fw\\TVQ5530A.bin");
  EXPECT_STREQ(ctx.ipAddress, "");
  EXPECT_EQ(TraceTexts(), (std::vector<std::wstring>{
                              L"FWDownload.InitGlobals()",
                              L"type=0",
                              L"deviceID=vid_7e51&pid_a717",
                              L"SetupGlobals.deviceID=vid_7e51&pid_a717",
                              L"SetupGlobals.PrinterName=",
                              L"InstanceID=USB\\VID_7E51&PID_A717\\X1",
                              L"SetupGlobals.deviceInstanceID=USB\\VID_7E51&PID_A717\\X1",
                          }));
}

TEST_F(EngineContextTest, NetworkRecordConvertsAddressAndKeepsOldInstance) {
  ASSERT_EQ(InitGlobals(CONNECTION_USB, L"vid", nullptr, L"USB\\OLD"), 1);
  EXPECT_EQ(InitGlobals(CONNECTION_NETWORK, L"vid_7e51&pid_a717", nullptr, L"192.168.1.20"), 1);
  EXPECT_EQ(ctx.isUsb, 0);
  EXPECT_EQ(ctx.isNetwork, 1);
  EXPECT_STREQ(ctx.ipAddress, "192.168.1.20");
  EXPECT_STREQ(ctx.deviceInstanceID, L"USB\\OLD");
  EXPECT_STREQ(ctx.binFilePath, L"");  // loading without an image empties the path
}

TEST_F(EngineContextTest, ParallelRecordFillsPrinterNameOnly) {
  ASSERT_EQ(InitGlobals(CONNECTION_USB, L"old-device", nullptr, nullptr), 1);
  EXPECT_EQ(InitGlobals(CONNECTION_PARALLEL, L"vid_7e51&pid_a617", nullptr, L""), 1);
  EXPECT_EQ(ctx.isParallel, 1);
  EXPECT_STREQ(ctx.PrinterName, L"vid_7e51&pid_a617");
  EXPECT_STREQ(ctx.deviceID, L"old-device");
  EXPECT_STREQ(ctx.deviceInstanceID, L"");

  // Without a deviceID the context's deviceID is emptied and PrinterName kept.
  host::ClearDebugOutput();
  EXPECT_EQ(InitGlobals(CONNECTION_PARALLEL, nullptr, nullptr, nullptr), 1);
  EXPECT_STREQ(ctx.deviceID, L"");
  EXPECT_STREQ(ctx.PrinterName, L"vid_7e51&pid_a617");
  EXPECT_EQ(TraceTexts(), (std::vector<std::wstring>{
                              L"FWDownload.InitGlobals()",
                              L"type=2",
                              L"deviceID= NULL",
                              L"SetupGlobals.deviceID=",
                              L"SetupGlobals.PrinterName=vid_7e51&pid_a617",
                              L"InstanceID=NULL",
                              L"SetupGlobals.deviceInstanceID=",
                          }));
}

TEST_F(EngineContextTest, UnknownKindIsRejectedAndContextKept) {
  ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, L"dev", L"C:\\a.bin", L"10.0.0.1"), 1);
  FWDownloadContext before = ctx;
  host::ClearDebugOutput();
  EXPECT_EQ(InitGlobals(static_cast<ConnectionKind>(3), L"other", L"C:\\b.bin", L"10.0.0.2"), 0);
  EXPECT_EQ(InitGlobals(static_cast<ConnectionKind>(-1), L"other", nullptr, nullptr), 0);
  EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);
  EXPECT_EQ(TraceTexts(), (std::vector<std::wstring>{L"FWDownload.InitGlobals()", L"type=3",
                                                     L"FWDownload.InitGlobals()", L"type=-1"}));
}

TEST_F(EngineContextTest, OverlongTextIsRefusedNotCut) {
  ASSERT_EQ(InitGlobals(CONNECTION_USB, L"dev", L"C:\\a.bin", L"USB\\A"), 1);
  FWDownloadContext before = ctx;
  std::wstring path = L"C:\\" + std::wstring(FWDownloadContext::kTextChars, L'p');
  EXPECT_EQ(InitGlobals(CONNECTION_USB, L"dev", path.c_str(), L"USB\\B"), 0);
  EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);

  // 259 characters is the most a text may hold; it is taken whole.
  std::wstring longest(FWDownloadContext::kTextChars - 1, L'i');
  EXPECT_EQ(InitGlobals(CONNECTION_USB, nullptr, nullptr, longest.c_str()), 1);
  EXPECT_EQ(std::wstring(ctx.deviceInstanceID), longest);
}

TEST_F(EngineContextTest, RecordOverloadLoadsTheSameContext) {
  PrinterRecord record{CONNECTION_NETWORK, L"vid_7e51&pid_a717", L"C:\\fw\\TVQ5530n.bin", L"127.0.0.9"};
  EXPECT_EQ(InitGlobals(record), 1);
  EXPECT_STREQ(ctx.ipAddress, "127.0.0.9");
  EXPECT_STREQ(ctx.binFilePath, L"C:\\fw\\TVQ5530n.bin");
}

TEST_F(EngineContextTest, NamesAndAddressesReachTheAnsiCodePageExactlyOrNotAtAll) {
  // By default Windows turns full-width digits into ASCII ones and 'Ł' into 'L': another address,
  // another printer. Such texts are refused; exact ones pass, in 1252 and in UTF-8.
  struct Case {
    UINT codePage;
    const wchar_t* text;
    const char* ansi;  // null: refused
  };
  const Case cases[] = {
      {1252, L"\uFF11\uFF12\uFF17.0.0.1", nullptr},
      {1252, L"10.0.0.\u0661", nullptr},
      {1252, L"\u0141\u00F3d\u017A", nullptr},
      {1252, L"B\u00FCro \u20AC", "B\xFCro \x80"},
      {CP_UTF8, L"\u0141\u00F3d\u017A", "\xC5\x81\xC3\xB3" "d\xC5\xBA"},
      {CP_UTF8, L"a\xD800", nullptr},  // an unpaired surrogate has no UTF-8 form
  };
  for (const Case& c : cases) {
    host::SetAnsiCodePage(c.codePage);
    ASSERT_EQ(InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, L"10.0.0.9"), 1);
    FWDownloadContext before = ctx;
    host::ClearDebugOutput();
    EXPECT_EQ(InitGlobals(CONNECTION_NETWORK, nullptr, nullptr, c.text), c.ansi ? 1 : 0);
    EXPECT_STREQ(ctx.ipAddress, c.ansi ? c.ansi : "10.0.0.9");
    if (!c.ansi) {
      EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);
    }
    EXPECT_EQ(Traced(std::wstring(L"InitGlobals(): address not exact in the ANSI code page refused: ") + c.text), !c.ansi);

    EXPECT_EQ(SetPrinterNameAnsi(c.text), c.ansi ? 1 : 0);
    EXPECT_STREQ(ctx.printerNameAnsi, c.ansi ? c.ansi : "");
    EXPECT_EQ(Traced(std::wstring(L"SetPrinterNameAnsi(): name not exact in the ANSI code page refused: ") + c.text),
              !c.ansi);
  }
}

}  // namespace
