// The program's message boxes: the text shown as formatted, top-most with the caption, right to
// left for an Arabic or Hebrew interface, one at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app_machine.h"
#include "diag/diag_log.h"
#include "host/machine.h"

namespace {

TEST(MessageBox, ReadingOrderFollowsTheInterfaceLanguage) {
  struct Case {
    const char* name;
    LANGID userUi, systemUi, userDefault, systemDefault;
    bool rightToLeft;
  };
  const Case cases[] = {
      {"English", 0x0409, 0x0409, 0x0409, 0x0409, false},
      {"Hebrew", 0x040D, 0x040D, 0x040D, 0x040D, true},
      {"Arabic (Egypt)", 0x0C01, 0x0C01, 0x0C01, 0x0C01, true},
      // Only the display language was switched: the system's interface language decides.
      {"user display Hebrew, system English", 0x040D, 0x0409, 0x0409, 0x0409, false},
      {"user display English, system Hebrew", 0x0409, 0x040D, 0x040D, 0x0409, true},
      // The user's own choice counts only where it is also the system's default language.
      {"user Hebrew throughout, system English", 0x040D, 0x0409, 0x040D, 0x0409, false},
      {"user display and system default Hebrew", 0x040D, 0x0409, 0x0409, 0x040D, false},
  };
  app_test::PrepareProgram();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app_test::SetLanguages(c.userUi, c.systemUi, c.userDefault, c.systemDefault);
    DiagLog::SetCaption(L"Firmware Download Utility");
    std::thread show([] { DiagLog::ShowMessage(MB_ICONWARNING, L"%d%% done", 50); });
    app_test::Box box = app_test::NextBox();
    show.join();
    EXPECT_EQ(box.text, L"50% done");
    EXPECT_EQ(box.caption, L"Firmware Download Utility");
    UINT expected = MB_ICONWARNING | MB_TOPMOST | (c.rightToLeft ? MB_RIGHT | MB_RTLREADING : 0);
    EXPECT_EQ(box.flags, expected);
  }
  EXPECT_EQ(DiagLog::ShowMessage(MB_OK, nullptr), 0);
}

TEST(MessageBox, BoxesOfTwoThreadsComeOneAtATime) {
  app_test::PrepareProgram();
  app_test::AnswerBoxesAtOnce(false);
  std::atomic<int> shown{0};
  auto show = [&shown](const wchar_t* text) {
    DiagLog::ShowMessage(MB_ICONERROR, L"%ls", text);
    ++shown;
  };
  std::thread first(show, L"first");
  app_test::Box one = app_test::WaitForOpenBox();
  std::thread second(show, L"second");
  // While the first box is open the second thread waits for it, and its box is not shown.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (host::ThreadsWaitingToEnter() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(host::ThreadsWaitingToEnter(), 1);
  EXPECT_EQ(app_test::OpenBoxCount(), 1);
  EXPECT_EQ(shown.load(), 0);
  app_test::AnswerOpenBox();
  app_test::Box two = app_test::WaitForOpenBox();
  app_test::AnswerOpenBox();
  first.join();
  second.join();
  EXPECT_EQ(one.text + L"," + two.text, L"first,second");
  EXPECT_EQ(shown.load(), 2);
}

}  // namespace
