// Windows, message queues, dialogs and the common controls: posting and sending across threads,
// timers, a modal dialog from an in-memory template, the list view and progress bar messages,
// window placement and visibility.
#include "conformance.h"
#include "dialog_template.h"

namespace {

using conformance::DialogTemplate;
using conformance::kPoison;

constexpr UINT kAsk = WM_APP + 1;     // answered through DWLP_MSGRESULT
constexpr UINT kRecord = WM_APP + 2;  // recorded by the dialog procedure
constexpr UINT kEnd = WM_APP + 3;     // the dialog presses its own OK button
constexpr int kListId = 105;
constexpr int kBarId = 103;
constexpr int kTextId = 104;

// What a dialog procedure saw; the test reads it after the dialog's thread is done with it.
struct Seen {
  LPARAM initParam = 0;
  DWORD threadId = 0;
  WPARAM recordedW = 0;
  LPARAM recordedL = 0;
  int recorded = 0;
  int commands = 0;
  WPARAM lastCommand = 0;
  HWND lastCommandControl = nullptr;
  bool quitOnCancel = false;
  HANDLE recordedTwice = nullptr;  // set at the second kRecord
};

Seen* SeenOf(HWND dialog) { return reinterpret_cast<Seen*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* seen = reinterpret_cast<Seen*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      seen->initParam = lParam;
      seen->threadId = GetCurrentThreadId();
      return TRUE;
    }
    case kAsk:
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, static_cast<LONG_PTR>(wParam * 2 + GetCurrentThreadId()));
      return TRUE;
    case kRecord:
      SeenOf(dialog)->recordedW = wParam;
      SeenOf(dialog)->recordedL = lParam;
      if (++SeenOf(dialog)->recorded == 2 && SeenOf(dialog)->recordedTwice) SetEvent(SeenOf(dialog)->recordedTwice);
      return TRUE;
    case kEnd:
      SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
      return TRUE;
    case WM_COMMAND: {
      Seen* seen = SeenOf(dialog);
      ++seen->commands;
      seen->lastCommand = wParam;
      seen->lastCommandControl = reinterpret_cast<HWND>(lParam);
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, 42);
      if (LOWORD(wParam) == IDCANCEL) {
        if (seen->quitOnCancel) {
          DestroyWindow(dialog);
          PostQuitMessage(7);
        } else {
          EndDialog(dialog, IDCANCEL);
        }
      }
      return TRUE;
    }
  }
  return FALSE;
}

DialogTemplate SmallDialog(DWORD style = WS_POPUP | WS_CAPTION | DS_MODALFRAME) {
  DialogTemplate t(style, 200, 100, "Conformance Dialog");
  t.Add(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 8, 80, 50, 14, IDOK, DialogTemplate::kButton, "OK");
  t.Add(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 60, 80, 50, 14, IDCANCEL, DialogTemplate::kButton, "Cancel");
  t.Add(WS_CHILD | WS_VISIBLE | SS_LEFT, 8, 8, 180, 16, kTextId, DialogTemplate::kStatic, "Waiting");
  return t;
}

// A modeless dialog of the calling thread, hidden.
HWND ModelessDialog(Seen* seen) {
  DialogTemplate t = SmallDialog();
  return CreateDialogIndirectParamW(nullptr, t.get(), nullptr, RecordingProc, reinterpret_cast<LPARAM>(seen));
}

// A modeless dialog running on a thread of its own until it posts WM_QUIT (Cancel).
struct DialogThread {
  Seen seen;
  HWND dialog = nullptr;
  HANDLE ready = nullptr;
  HANDLE thread = nullptr;
  DWORD threadId = 0;

  static DWORD WINAPI Run(LPVOID parameter) {
    auto* self = static_cast<DialogThread*>(parameter);
    DialogTemplate t = SmallDialog();
    self->seen.quitOnCancel = true;
    self->dialog = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, RecordingProc,
                                              reinterpret_cast<LPARAM>(&self->seen));
    SetEvent(self->ready);
    if (!self->dialog) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (!IsDialogMessageW(self->dialog, &msg)) DispatchMessageW(&msg);
    }
    return static_cast<DWORD>(msg.wParam);
  }

  bool Start() {
    conformance::LetOtherThreadsCatchUp();
    ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    seen.recordedTwice = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread = CreateThread(nullptr, 0, Run, this, 0, &threadId);
    return ready && thread && WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0 && dialog;
  }
  // Ends the dialog's thread through its Cancel button; its exit code (7 from PostQuitMessage).
  DWORD Stop() {
    DWORD code = 0;
    if (dialog) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (thread) {
      WaitForSingleObject(thread, 10000);
      GetExitCodeThread(thread, &code);
      CloseHandle(thread);
    }
    if (ready) CloseHandle(ready);
    if (seen.recordedTwice) CloseHandle(seen.recordedTwice);
    return code;
  }
};

TEST(Windows, MessagesReachTheWindowOfAnotherThread) {
  DialogThread other;
  ASSERT_TRUE(other.Start());
  DWORD processId = 0;
  EXPECT_EQ(GetWindowThreadProcessId(other.dialog, &processId), other.threadId);
  EXPECT_EQ(processId, GetCurrentProcessId());
  EXPECT_EQ(other.seen.threadId, other.threadId);

  // Sent: runs on the window's thread, the sender waits for the answer the procedure left in
  // DWLP_MSGRESULT.
  EXPECT_EQ(SendMessageW(other.dialog, kAsk, 20, 0), static_cast<LRESULT>(40 + other.threadId));
  // Posted: queued for the window's thread, in order. (A message sent meanwhile may overtake them:
  // the receiver serves sent messages first.)
  EXPECT_TRUE(PostMessageW(other.dialog, kRecord, 1, 2));
  EXPECT_TRUE(PostMessageW(other.dialog, kRecord, 3, 4));
  ASSERT_EQ(WaitForSingleObject(other.seen.recordedTwice, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(other.seen.recorded, 2);
  EXPECT_EQ(other.seen.recordedW, 3u);
  EXPECT_EQ(other.seen.recordedL, 4);

  // Another thread of the process may set and kill the window's timers, but only the window's own
  // thread destroys it.
  EXPECT_EQ(SetTimer(other.dialog, 1, 100000, nullptr), 1u);
  EXPECT_TRUE(KillTimer(other.dialog, 1));
  SetLastError(kPoison);
  EXPECT_FALSE(DestroyWindow(other.dialog));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(IsWindow(other.dialog));

  EXPECT_EQ(other.Stop(), 7u);
  EXPECT_FALSE(IsWindow(other.dialog));  // destroyed before its thread ended
  SetLastError(kPoison);
  EXPECT_FALSE(PostMessageW(other.dialog, kRecord, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Windows, TimerPostsWmTimerWithItsIdentifierUntilKilled) {
  Seen seen;
  HWND dialog = ModelessDialog(&seen);
  ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
  EXPECT_EQ(SetTimer(dialog, 5, 50, nullptr), 5u);
  int timers = 0;
  MSG msg;
  while (timers < 2 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message != WM_TIMER) {
      DispatchMessageW(&msg);
      continue;
    }
    EXPECT_EQ(msg.hwnd, dialog);
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_EQ(msg.lParam, 0);
    ++timers;
  }
  EXPECT_EQ(timers, 2);  // the timer repeats
  EXPECT_TRUE(KillTimer(dialog, 5));
  SetLastError(kPoison);
  EXPECT_FALSE(KillTimer(dialog, 5));
  while (PeekMessageW(&msg, dialog, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    ADD_FAILURE() << "WM_TIMER after KillTimer";
  }
  EXPECT_TRUE(DestroyWindow(dialog));
}

TEST(Windows, ModalDialogEndsWithTheResultOfEndDialog) {
  struct Case {
    const char* what;
    UINT message;  // posted to the dialog once it runs
    WPARAM wParam;
    INT_PTR result;
    WPARAM command;
  };
  const Case cases[] = {
      {"OK pressed by the dialog (BM_CLICK)", kEnd, 0, 42, MAKEWPARAM(IDOK, BN_CLICKED)},
      {"Escape through IsDialogMessage", WM_KEYDOWN, VK_ESCAPE, IDCANCEL, MAKEWPARAM(IDCANCEL, BN_CLICKED)},
      {"WM_CLOSE by the default dialog procedure", WM_CLOSE, 0, IDCANCEL, MAKEWPARAM(IDCANCEL, BN_CLICKED)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    struct Run {
      Seen seen;
      UINT message;
      WPARAM wParam;
      HWND dialog = nullptr;
      RECT client{};
      RECT mapped{0, 0, 200, 100};
      BOOL visibleAtInit = TRUE;
    } run;
    run.message = c.message;
    run.wParam = c.wParam;
    DialogTemplate t = SmallDialog();
    auto proc = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
      if (message == WM_INITDIALOG) {
        auto* r = reinterpret_cast<Run*>(lParam);
        r->dialog = dialog;
        r->visibleAtInit = IsWindowVisible(dialog);
        GetClientRect(dialog, &r->client);
        MapDialogRect(dialog, &r->mapped);
        // The key goes to the focused control, as a key press would.
        HWND target = r->message == WM_KEYDOWN ? GetDlgItem(dialog, IDOK) : dialog;
        PostMessageW(target, r->message, r->wParam, 0);
        return RecordingProc(dialog, message, wParam, reinterpret_cast<LPARAM>(&r->seen));
      }
      return RecordingProc(dialog, message, wParam, lParam);
    };
    SetLastError(kPoison);
    INT_PTR result = DialogBoxIndirectParamW(nullptr, t.get(), nullptr, proc, reinterpret_cast<LPARAM>(&run));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(run.seen.initParam, reinterpret_cast<LPARAM>(&run.seen));
    EXPECT_EQ(run.seen.lastCommand, c.command);
    EXPECT_FALSE(run.visibleAtInit);     // shown after WM_INITDIALOG
    EXPECT_FALSE(IsWindow(run.dialog));  // destroyed when the loop ends
    // The template's size is the client area's, in dialog units of the dialog's font.
    EXPECT_EQ(run.client.right, run.mapped.right);
    EXPECT_EQ(run.client.bottom, run.mapped.bottom);
    EXPECT_GT(run.mapped.right, 200);
  }
}

TEST(Windows, ButtonClickNotifiesTheParentWithTheButtonHandle) {
  Seen seen;
  HWND dialog = ModelessDialog(&seen);
  ASSERT_NE(dialog, nullptr);
  HWND cancel = GetDlgItem(dialog, IDCANCEL);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(GetDlgCtrlID(cancel), IDCANCEL);
  EXPECT_EQ(GetParent(cancel), dialog);
  seen.quitOnCancel = false;
  SendMessageW(cancel, BM_CLICK, 0, 0);
  EXPECT_EQ(seen.commands, 1);
  EXPECT_EQ(seen.lastCommand, MAKEWPARAM(IDCANCEL, BN_CLICKED));
  EXPECT_EQ(seen.lastCommandControl, cancel);
  EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_FALSE(IsWindow(cancel));  // children go with their parent
}

TEST(Windows, MissingDialogItemSetsTheLastError) {
  SKIP_WHERE_WINE_DIFFERS("GetDlgItem of a missing identifier leaves the last error alone");
  Seen seen;
  HWND dialog = ModelessDialog(&seen);
  ASSERT_NE(dialog, nullptr);
  SetLastError(kPoison);
  EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
  EXPECT_TRUE(DestroyWindow(dialog));
}

TEST(Windows, TextsOfWindowsAndDialogItems) {
  Seen seen;
  HWND dialog = ModelessDialog(&seen);
  ASSERT_NE(dialog, nullptr);
  wchar_t text[64];
  EXPECT_EQ(GetWindowTextW(dialog, text, 64), 18);
  EXPECT_STREQ(text, L"Conformance Dialog");
  EXPECT_TRUE(SetWindowTextW(dialog, L"Firmware"));
  EXPECT_EQ(GetWindowTextLengthW(dialog), 8);
  auto buffer = conformance::PoisonedBuffer(6);
  EXPECT_EQ(GetWindowTextW(dialog, buffer.data(), 5), 4);  // cut to the buffer, terminated
  EXPECT_EQ(conformance::TextIn(buffer), L"Firm");
  EXPECT_EQ(buffer[5], conformance::kPoisonChar);

  EXPECT_TRUE(SetDlgItemTextW(dialog, kTextId, L"Checking ..."));
  EXPECT_EQ(GetDlgItemTextW(dialog, kTextId, text, 64), 12u);
  EXPECT_STREQ(text, L"Checking ...");
  EXPECT_TRUE(SetDlgItemTextW(dialog, kTextId, L""));
  EXPECT_EQ(GetDlgItemTextW(dialog, kTextId, text, 64), 0u);
  EXPECT_TRUE(DestroyWindow(dialog));
}

TEST(Windows, PlacementVisibilityAndTopMost) {
  Seen seen;
  HWND dialog = ModelessDialog(&seen);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowVisible(dialog));  // no WS_VISIBLE in the template
  EXPECT_FALSE(ShowWindow(dialog, SW_SHOWNORMAL));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDOK)));
  EXPECT_TRUE(ShowWindow(dialog, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDOK)));  // a child of a hidden window

  RECT before;
  ASSERT_TRUE(GetWindowRect(dialog, &before));
  EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_TRUE(SetWindowPos(dialog, HWND_TOPMOST, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE));
  EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
  RECT after;
  ASSERT_TRUE(GetWindowRect(dialog, &after));
  EXPECT_EQ(after.left, 40);
  EXPECT_EQ(after.top, 50);
  EXPECT_EQ(after.right - after.left, before.right - before.left);  // SWP_NOSIZE
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  ASSERT_TRUE(GetWindowPlacement(dialog, &placement));
  EXPECT_EQ(placement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));  // hidden, but not minimised
  EXPECT_EQ(placement.rcNormalPosition.left, 40);
  EXPECT_EQ(placement.rcNormalPosition.top, 50);
  EXPECT_EQ(placement.rcNormalPosition.right, after.right);
  EXPECT_EQ(placement.rcNormalPosition.bottom, after.bottom);

  EXPECT_TRUE(SetWindowPos(dialog, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER));
  ASSERT_TRUE(GetWindowRect(dialog, &after));
  EXPECT_EQ(after.left, 40);
  EXPECT_EQ(after.right - after.left, 300);
  EXPECT_EQ(after.bottom - after.top, 200);
  EXPECT_TRUE(DestroyWindow(dialog));
  SetLastError(kPoison);
  EXPECT_FALSE(GetWindowPlacement(dialog, &placement));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

// A modeless dialog holding a report list view (single selection) and a progress bar.
class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&init));
    DialogTemplate t(WS_POPUP | WS_CAPTION, 348, 121, "Controls");
    t.Add(WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 8, 28, 328, 68, kListId,
          "SysListView32", "");
    t.Add(WS_CHILD | WS_VISIBLE | WS_BORDER, 8, 100, 332, 14, kBarId, "msctls_progress32", "");
    dialog_ = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, RecordingProc, reinterpret_cast<LPARAM>(&seen_));
    ASSERT_NE(dialog_, nullptr);
    list_ = GetDlgItem(dialog_, kListId);
    bar_ = GetDlgItem(dialog_, kBarId);
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(bar_, nullptr);
  }
  void TearDown() override {
    if (dialog_) {
      EXPECT_TRUE(DestroyWindow(dialog_));
    }
  }

  LRESULT List(UINT message, WPARAM wParam, const void* lParam) {
    return SendMessageW(list_, message, wParam, reinterpret_cast<LPARAM>(lParam));
  }
  LRESULT InsertRow(int index, const wchar_t* text) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text);
    return List(LVM_INSERTITEMW, 0, &item);
  }
  LRESULT Find(int start, UINT flags, const wchar_t* text) {
    LVFINDINFOW find{};
    find.flags = flags;
    find.psz = text;
    return List(LVM_FINDITEMW, static_cast<WPARAM>(start), &find);
  }
  LRESULT SetState(int index, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    return List(LVM_SETITEMSTATE, static_cast<WPARAM>(index), &item);
  }
  LRESULT NextItem(int start, UINT flags) {
    return SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0));
  }

  Seen seen_;
  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  HWND bar_ = nullptr;
};

TEST_F(Controls, ListViewColumnsAndRows) {
  const wchar_t* titles[] = {L"Printer", L"Connection", L"Firmware"};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = 100 + i;
    column.pszText = const_cast<wchar_t*>(titles[i]);
    EXPECT_EQ(List(LVM_INSERTCOLUMNW, static_cast<WPARAM>(i == 2 ? 10 : i), &column), i);  // 10: appended
  }
  EXPECT_EQ(List(LVM_GETCOLUMNWIDTH, 1, nullptr), 101);
  EXPECT_TRUE(SendMessageW(list_, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(200, 0)));
  EXPECT_EQ(List(LVM_GETCOLUMNWIDTH, 2, nullptr), 200);
  wchar_t title[32] = L"";
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = title;
  column.cchTextMax = 32;
  EXPECT_TRUE(List(LVM_GETCOLUMNW, 1, &column));
  EXPECT_STREQ(title, L"Connection");

  EXPECT_EQ(List(LVM_GETITEMCOUNT, 0, nullptr), 0);
  EXPECT_EQ(InsertRow(0, L"Alpha"), 0);
  EXPECT_EQ(InsertRow(1, L"beta"), 1);
  EXPECT_EQ(InsertRow(5, L"Gamma"), 2);  // past the end: appended
  EXPECT_EQ(InsertRow(-1, L"Delta"), -1);
  EXPECT_EQ(List(LVM_GETITEMCOUNT, 0, nullptr), 3);

  LVITEMW cell{};
  cell.iSubItem = 2;
  cell.pszText = const_cast<wchar_t*>(L"-- Updated --");
  EXPECT_TRUE(List(LVM_SETITEMTEXTW, 1, &cell));
  auto buffer = conformance::PoisonedBuffer(16);
  cell.pszText = buffer.data();
  cell.cchTextMax = 16;
  EXPECT_EQ(List(LVM_GETITEMTEXTW, 1, &cell), 13);
  EXPECT_EQ(conformance::TextIn(buffer), L"-- Updated --");
  buffer = conformance::PoisonedBuffer(16);
  cell.pszText = buffer.data();
  cell.cchTextMax = 4;
  EXPECT_EQ(List(LVM_GETITEMTEXTW, 1, &cell), 3);  // cut to the buffer, terminated
  EXPECT_EQ(conformance::TextIn(buffer), L"-- ");

  LVITEMW item{};
  wchar_t name[32] = L"";
  item.mask = LVIF_TEXT;
  item.iItem = 2;
  item.pszText = name;
  item.cchTextMax = 32;
  EXPECT_TRUE(List(LVM_GETITEMW, 0, &item));
  EXPECT_STREQ(name, L"Gamma");

  EXPECT_TRUE(List(LVM_DELETEITEM, 0, nullptr));
  EXPECT_FALSE(List(LVM_DELETEITEM, 5, nullptr));
  EXPECT_EQ(List(LVM_GETITEMCOUNT, 0, nullptr), 2);
  EXPECT_TRUE(List(LVM_DELETEALLITEMS, 0, nullptr));
  EXPECT_EQ(List(LVM_GETITEMCOUNT, 0, nullptr), 0);
}

TEST_F(Controls, ListViewFindsRowsByText) {
  InsertRow(0, L"Alpha");
  InsertRow(1, L"beta");
  InsertRow(2, L"Gamma");
  struct Case {
    int start;
    UINT flags;
    const wchar_t* text;
    LRESULT found;
  };
  const Case cases[] = {
      {-1, LVFI_STRING, L"BETA", 1},             // exact, without regard to case
      {-1, LVFI_STRING, L"Gam", -1},             // a prefix is not a match ...
      {-1, LVFI_PARTIAL, L"gam", 2},             // ... unless asked for
      {-1, LVFI_STRING | LVFI_PARTIAL, L"Al", 0},
      {0, LVFI_STRING, L"Alpha", -1},            // the search starts after `start`
      {0, LVFI_STRING | LVFI_WRAP, L"Alpha", 0}, // and wraps when asked
      {1, LVFI_STRING, L"Gamma", 2},
      {-1, LVFI_STRING, L"Delta", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Find(c.start, c.flags, c.text), c.found) << "start " << c.start << ", flags " << c.flags;
  }
}

TEST_F(Controls, ListViewSelectionInASingleSelectionList) {
  InsertRow(0, L"Alpha");
  InsertRow(1, L"beta");
  InsertRow(2, L"Gamma");
  EXPECT_EQ(NextItem(-1, LVNI_SELECTED), -1);
  EXPECT_EQ(NextItem(-1, LVNI_ALL), 0);
  EXPECT_EQ(NextItem(0, LVNI_ALL), 1);
  EXPECT_EQ(NextItem(2, LVNI_ALL), -1);

  EXPECT_TRUE(SetState(2, LVIS_SELECTED, LVIS_SELECTED));
  EXPECT_EQ(NextItem(-1, LVNI_SELECTED), 2);
  EXPECT_EQ(SendMessageW(list_, LVM_GETITEMSTATE, 2, LVIS_SELECTED | LVIS_FOCUSED), LVIS_SELECTED);
  EXPECT_TRUE(SetState(0, LVIS_SELECTED, LVIS_SELECTED));  // takes the selection from row 2
  EXPECT_EQ(NextItem(-1, LVNI_SELECTED), 0);
  EXPECT_EQ(NextItem(0, LVNI_SELECTED), -1);
  EXPECT_EQ(SendMessageW(list_, LVM_GETITEMSTATE, 2, LVIS_SELECTED), 0);
  EXPECT_EQ(List(LVM_GETSELECTEDCOUNT, 0, nullptr), 1);
  EXPECT_TRUE(SetState(0, 0, LVIS_SELECTED));
  EXPECT_EQ(NextItem(-1, LVNI_SELECTED), -1);
  EXPECT_FALSE(SetState(7, LVIS_SELECTED, LVIS_SELECTED));
}

TEST_F(Controls, ListViewExtendedStyleBits) {
  auto set = [&](DWORD mask, DWORD style) {
    return static_cast<DWORD>(SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style));
  };
  auto get = [&] { return static_cast<DWORD>(SendMessageW(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)); };
  EXPECT_EQ(get(), 0u);
  EXPECT_EQ(set(0, LVS_EX_GRIDLINES), 0u);  // mask 0: every bit as given
  EXPECT_EQ(set(LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT), static_cast<DWORD>(LVS_EX_GRIDLINES));
  EXPECT_EQ(get(), static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));  // other bits kept
  EXPECT_EQ(set(LVS_EX_GRIDLINES, 0), static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
  EXPECT_EQ(get(), static_cast<DWORD>(LVS_EX_FULLROWSELECT));
  EXPECT_EQ(set(0, 0), static_cast<DWORD>(LVS_EX_FULLROWSELECT));
  EXPECT_EQ(get(), 0u);
}

TEST_F(Controls, ProgressBarRangeAndPosition) {
  auto bar = [&](UINT message, WPARAM wParam, LPARAM lParam) { return SendMessageW(bar_, message, wParam, lParam); };
  PBRANGE range{-1, -1};
  EXPECT_EQ(bar(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(bar(PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(bar(PBM_SETRANGE, 0, MAKELPARAM(0, 100)), MAKELONG(0, 100));  // the previous range
  EXPECT_EQ(bar(PBM_SETPOS, 30, 0), 0);                                    // the previous position
  EXPECT_EQ(bar(PBM_SETPOS, 150, 0), 30);
  EXPECT_EQ(bar(PBM_GETPOS, 0, 0), 100);  // kept within the range
  EXPECT_EQ(bar(PBM_SETPOS, static_cast<WPARAM>(-5), 0), 100);
  EXPECT_EQ(bar(PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(bar(PBM_SETSTEP, 40, 0), 10);
  EXPECT_EQ(bar(PBM_STEPIT, 0, 0), 0);
  EXPECT_EQ(bar(PBM_STEPIT, 0, 0), 40);
  EXPECT_EQ(bar(PBM_GETPOS, 0, 0), 80);
  EXPECT_EQ(bar(PBM_SETRANGE32, 10, 500), MAKELONG(0, 100));
  EXPECT_EQ(bar(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range)), 500);
  EXPECT_EQ(range.iLow, 10);
  EXPECT_EQ(range.iHigh, 500);
  EXPECT_EQ(bar(PBM_SETPOS, 300, 0), 80);
  EXPECT_EQ(bar(PBM_GETPOS, 0, 0), 300);
}

}  // namespace
