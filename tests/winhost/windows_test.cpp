// The simulated window manager and its neighbours where they go beyond the conformance suite:
// dialogs from the program's .res file, timers and paints on the host clock, message boxes and
// their modal loop, COM, threads, the DLL search order, second processes and the leak check.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "conformance/dialog_template.h"
#include "host/clock.h"
#include "host/files.h"
#include "host/libraries.h"
#include "host/machine.h"
#include "host/process.h"
#include "host/resources.h"
#include "host/windows.h"
#include "platform/win32.h"
#include "support/cases.h"

namespace {

std::string ReadBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = ReadBytes(WINHOST_TEST_RES);
    ASSERT_TRUE(host::resources::SetProgramResources(bytes_.data(), bytes_.size()));
  }
  void TearDown() override { host::resources::SetProgramResources(nullptr, 0); }
  std::string bytes_;
};

struct Layout {
  HWND dialog = nullptr;
  std::wstring title;
  LONG_PTR style = 0;
  LONG_PTR exStyle = 0;
  RECT client{};
  RECT window{};
  struct Control {
    int id;
    std::wstring className;
    std::wstring text;
    LONG_PTR style;
    RECT rect;
  };
  std::vector<Control> controls;
};

// Reads the dialog's and its controls' state in WM_INITDIALOG, then ends the dialog.
INT_PTR CALLBACK ReadLayout(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  auto* layout = reinterpret_cast<Layout*>(lParam);
  layout->dialog = dialog;
  wchar_t text[128];
  GetWindowTextW(dialog, text, 128);
  layout->title = text;
  layout->style = GetWindowLongPtrW(dialog, GWL_STYLE);
  layout->exStyle = GetWindowLongPtrW(dialog, GWL_EXSTYLE);
  GetClientRect(dialog, &layout->client);
  GetWindowRect(dialog, &layout->window);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    Layout::Control control{GetDlgCtrlID(child), {}, {}, GetWindowLongPtrW(child, GWL_STYLE), {}};
    GetWindowTextW(child, text, 128);
    control.text = text;
    RECT screen;
    GetWindowRect(child, &screen);
    control.rect = RECT{screen.left - layout->window.left, screen.top - layout->window.top,
                        screen.right - layout->window.left, screen.bottom - layout->window.top};
    control.className = child == GetDlgItem(dialog, 105) ? L"list" : child == GetDlgItem(dialog, 103) ? L"bar" : L"";
    layout->controls.push_back(control);
  }
  EndDialog(dialog, 77);
  return TRUE;
}

TEST_F(ProgramResources, DialogFromTheResourceFileHasTheTemplatesControlsInPixels) {
  EXPECT_EQ(host::resources::ProgramResourceCount(), 4u);
  Layout layout;
  EXPECT_EQ(DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(200), nullptr, ReadLayout,
                            reinterpret_cast<LPARAM>(&layout)),
            77);
  EXPECT_EQ(layout.title, L"Resource Dialog ");
  EXPECT_EQ(layout.exStyle & WS_EX_APPWINDOW, WS_EX_APPWINDOW);
  EXPECT_EQ(layout.style & WS_VISIBLE, 0);  // shown only after WM_INITDIALOG
  // "MS Shell Dlg" 8: 6 x 13 base units, so 348 x 121 units are 522 x 197 pixels of client area
  // inside a 3-pixel frame and a 23-pixel caption, centred on the 1920 x 1080 screen.
  EXPECT_EQ(layout.client.right, 522);
  EXPECT_EQ(layout.client.bottom, 197);
  EXPECT_EQ(layout.window.right - layout.window.left, 528);
  EXPECT_EQ(layout.window.bottom - layout.window.top, 226);
  EXPECT_EQ(layout.window.left, (1920 - 528) / 2);  // DS_CENTER
  EXPECT_EQ(layout.window.top, (1080 - 226) / 2);
  ASSERT_EQ(layout.controls.size(), 5u);
  struct Expected {
    int id;
    const wchar_t* text;
    RECT rect;  // in the window, frame included
  };
  const Expected expected[] = {
      {IDOK, L"OK", {3 + 12, 26 + 163, 3 + 12 + 138, 26 + 163 + 23}},
      {IDCANCEL, L"Cancel", {3 + 426, 26 + 163, 3 + 426 + 75, 26 + 163 + 23}},
      {105, L"", {3 + 12, 26 + 46, 3 + 12 + 492, 26 + 46 + 111}},
      {104, L"Stage", {3 + 18, 26 + 46, 3 + 18 + 492, 26 + 46 + 46}},
      {103, L"", {3 + 12, 26 + 143, 3 + 12 + 498, 26 + 143 + 23}},
  };
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(layout.controls[i].id, expected[i].id);
    EXPECT_EQ(layout.controls[i].text, expected[i].text);
    EXPECT_EQ(layout.controls[i].rect.left, expected[i].rect.left);
    EXPECT_EQ(layout.controls[i].rect.top, expected[i].rect.top);
    EXPECT_EQ(layout.controls[i].rect.right, expected[i].rect.right);
    EXPECT_EQ(layout.controls[i].rect.bottom, expected[i].rect.bottom);
    EXPECT_EQ(layout.controls[i].style & WS_CHILD, WS_CHILD);
  }
  EXPECT_EQ(layout.controls[2].style & (LVS_REPORT | LVS_SINGLESEL), LVS_REPORT | LVS_SINGLESEL);
  EXPECT_FALSE(IsWindow(layout.dialog));
}

TEST_F(ProgramResources, FindResourceByOrdinalNameAndType) {
  struct Case {
    LPCWSTR name;
    LPCWSTR type;
    bool found;
    DWORD error;
  };
  const Case cases[] = {
      {MAKEINTRESOURCEW(200), RT_DIALOG, true, 0},
      {L"#200", RT_DIALOG, true, 0},
      {L"mainform", RT_DIALOG, true, 0},  // names without regard to case
      {MAKEINTRESOURCEW(1), RT_VERSION, true, 0},
      {MAKEINTRESOURCEW(201), RT_DIALOG, false, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(128), RT_GROUP_ICON, true, 0},
      {MAKEINTRESOURCEW(128), RT_ICON, false, ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(0xDEAD);
    HRSRC resource = FindResourceW(nullptr, c.name, c.type);
    EXPECT_EQ(resource != nullptr, c.found);
    if (!c.found) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
  HRSRC plain = FindResourceW(GetModuleHandleW(nullptr), L"MAINFORM", RT_DIALOG);
  ASSERT_NE(plain, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, plain)));
  ASSERT_NE(bytes, nullptr);
  DWORD style = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION), static_cast<DWORD>(WS_POPUP | WS_CAPTION));
  EXPECT_GT(SizeofResource(nullptr, plain), 18u);

  // A plain DLGTEMPLATE without a font: the system font's 8 x 16 base units.
  Layout layout;
  EXPECT_EQ(DialogBoxParamW(nullptr, L"MainForm", nullptr, ReadLayout, reinterpret_cast<LPARAM>(&layout)), 77);
  EXPECT_EQ(layout.title, L"Plain");
  EXPECT_EQ(layout.client.right, 200);
  EXPECT_EQ(layout.client.bottom, 100);
  ASSERT_EQ(layout.controls.size(), 1u);
  EXPECT_EQ(layout.controls[0].text, L"Plain template");
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(201), nullptr, ReadLayout, 0), -1);
}

TEST_F(ProgramResources, IconsAndCursors) {
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128)), icon);  // shared
  HICON system = LoadIconW(nullptr, IDI_APPLICATION);
  ASSERT_NE(system, nullptr);
  EXPECT_NE(system, icon);
  SetLastError(0xDEAD);
  EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(129)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

  HWND dialog = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, nullptr, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
  EXPECT_EQ(SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(system)),
            reinterpret_cast<LRESULT>(icon));  // the previous icon
  EXPECT_EQ(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(system));
  EXPECT_EQ(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_TRUE(DestroyWindow(dialog));

  EXPECT_EQ(host::windows::CurrentCursor(), 0);
  HCURSOR arrow = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  EXPECT_EQ(arrow, nullptr);
  EXPECT_EQ(host::windows::CurrentCursor(), 32514);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(host::windows::CurrentCursor(), 32512);
  EXPECT_EQ(LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)), nullptr);  // the program has none
}

TEST(ProgramResourceFile, MalformedFilesAreRefused) {
  std::string bytes = ReadBytes(WINHOST_TEST_RES);
  ASSERT_GT(bytes.size(), 64u);
  EXPECT_FALSE(host::resources::SetProgramResources(bytes.data(), bytes.size() - 5));  // the last record cut
  EXPECT_EQ(host::resources::ProgramResourceCount(), 0u);
  std::string wrongHeader = bytes;
  wrongHeader[39] = '\x7F';  // the second record's header size beyond the file
  EXPECT_FALSE(host::resources::SetProgramResources(wrongHeader.data(), wrongHeader.size()));
  EXPECT_TRUE(host::resources::SetProgramResources(bytes.data(), bytes.size()));
  EXPECT_TRUE(host::resources::SetProgramResources(nullptr, 0));
  EXPECT_EQ(host::resources::ProgramResourceCount(), 0u);
}

// A modeless dialog on the calling thread from a small in-memory template.
HWND SmallDialog(DLGPROC proc = nullptr, LPARAM param = 0) {
  conformance::DialogTemplate t(WS_POPUP | WS_CAPTION, 100, 50, "Small");
  t.Add(WS_CHILD | WS_VISIBLE, 4, 4, 50, 14, IDOK, conformance::DialogTemplate::kButton, "OK");
  return CreateDialogIndirectParamW(nullptr, t.get(), nullptr, proc, param);
}

TEST(WindowManager, TimersRunOnTheHostClockAndPaintComesLast) {
  host::clock::SetCompression(0);
  HWND dialog = SmallDialog();
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(SetTimer(dialog, 1, 200, nullptr), 1u);
  ShowWindow(dialog, SW_SHOW);
  PostMessageW(dialog, WM_APP, 0, 0);
  std::vector<UINT> order;
  std::vector<ULONGLONG> timerTimes;
  ULONGLONG start = host::clock::Now();
  MSG msg;
  while (timerTimes.size() < 3 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == dialog && order.size() < 3) order.push_back(msg.message);
    if (msg.message == WM_TIMER) timerTimes.push_back(host::clock::Now() - start);
    DispatchMessageW(&msg);  // the default handling validates the paint
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_APP, WM_PAINT, WM_TIMER}));  // posted, then paint, then timer
  EXPECT_EQ(timerTimes, (std::vector<ULONGLONG>{200, 400, 600}));       // each period on the host clock
  EXPECT_TRUE(DestroyWindow(dialog));
  SetLastError(0xDEAD);
  EXPECT_FALSE(KillTimer(dialog, 1));  // went with its window
}

TEST(WindowManager, ThreadsSendingToEachOtherDoNotBlock) {
  // Each thread's window procedure sends to the other thread's window while that one is itself
  // waiting for a reply: the waiting sender serves the message sent to it.
  static HWND windows[2];
  static std::atomic<int> answers{0};
  answers = 0;
  auto proc = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message != WM_APP) return FALSE;
    if (wParam == 0) {
      HWND other = windows[0] == dialog ? windows[1] : windows[0];
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 10 + SendMessageW(other, WM_APP, 1, 0));
    } else {
      ++answers;
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 5);
    }
    return TRUE;
  };
  windows[0] = SmallDialog(proc);
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE mainDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<LRESULT> otherResult{0};
  std::thread other([&] {
    windows[1] = SmallDialog(proc);
    SetEvent(ready);
    otherResult = SendMessageW(windows[0], WM_APP, 0, 0);
    MSG msg;
    while (WaitForSingleObject(mainDone, 0) == WAIT_TIMEOUT) PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    DestroyWindow(windows[1]);
  });
  ASSERT_EQ(WaitForSingleObject(ready, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(SendMessageW(windows[1], WM_APP, 0, 0), 15);
  SetEvent(mainDone);
  // The other thread's own send is answered while this thread serves messages.
  MSG msg;
  while (otherResult == 0) PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  other.join();
  EXPECT_EQ(otherResult, 15);
  EXPECT_EQ(answers, 2);
  EXPECT_TRUE(DestroyWindow(windows[0]));
  CloseHandle(ready);
  CloseHandle(mainDone);
}

TEST(WindowManager, ATestDrivesAModalDialogOfAnotherThread) {
  std::atomic<INT_PTR> result{0};
  std::thread program([&] {
    conformance::DialogTemplate t(WS_POPUP | WS_CAPTION, 100, 50, "Driven");
    t.Add(WS_CHILD | WS_VISIBLE, 4, 4, 50, 14, IDOK, conformance::DialogTemplate::kButton, "OK");
    auto proc = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
      if (message == WM_COMMAND && LOWORD(wParam) == IDOK) EndDialog(dialog, 5);
      return message == WM_COMMAND || message == WM_INITDIALOG;
    };
    result = DialogBoxIndirectParamW(nullptr, t.get(), nullptr, proc, 0);
  });
  HWND dialog = host::windows::WaitForWindow(L"Driven", 10000);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(host::windows::WaitUntilIdle(dialog, 10000));
  EXPECT_TRUE(IsWindowVisible(dialog));  // the modal loop showed it once idle
  SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  program.join();
  EXPECT_EQ(result, 5);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(host::windows::WaitUntilIdle(dialog, 10));
  EXPECT_EQ(host::windows::WaitForWindow(L"Driven", 10), nullptr);
}

TEST(MessageBoxes, RecordedAnsweredAndModal) {
  host::clock::SetCompression(0);
  // The box's modal loop keeps the thread's window working: a message posted to it while the box
  // is open is handled before the box closes.
  static std::atomic<int> handled{0};
  handled = 0;
  HWND dialog = SmallDialog([](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_APP) ++handled;
    return message == WM_APP;
  });
  host::windows::SetMessageBoxResponder([&](const host::windows::MessageBoxRecord& box) {
    EXPECT_TRUE(box.open);
    int before = handled;
    PostMessageW(dialog, WM_APP, 0, 0);
    while (handled == before) std::this_thread::yield();
    Sleep(1500);
    return box.type & MB_YESNO ? IDNO : IDOK;
  });
  EXPECT_EQ(MessageBoxW(nullptr, L"Firmware is current.", L"Utility", MB_ICONWARNING | MB_TOPMOST), IDOK);
  EXPECT_EQ(MessageBoxW(dialog, L"Again?", nullptr, MB_YESNO), IDNO);
  EXPECT_EQ(handled, 2);
  auto boxes = host::windows::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, L"Firmware is current.");
  EXPECT_EQ(boxes[0].caption, L"Utility");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONWARNING | MB_TOPMOST));
  EXPECT_EQ(boxes[0].threadId, GetCurrentThreadId());
  EXPECT_EQ(boxes[0].closedAtMs - boxes[0].shownAtMs, 1500u);
  EXPECT_FALSE(boxes[0].open);
  EXPECT_EQ(boxes[1].caption, L"Error");  // what Windows shows for a null caption
  EXPECT_EQ(boxes[1].owner, dialog);
  EXPECT_EQ(boxes[1].result, IDNO);
  EXPECT_TRUE(DestroyWindow(dialog));
  SetLastError(0xDEAD);
  EXPECT_EQ(MessageBoxW(dialog, L"gone", nullptr, MB_OK), 0);  // a dead owner
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Com, InitialisationAndTheTaskbarList) {
  ITaskbarList* list = reinterpret_cast<ITaskbarList*>(0x1);
  EXPECT_EQ(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_SERVER, IID_ITaskbarList,
                             reinterpret_cast<void**>(&list)),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  struct Case {
    const CLSID* clsid;
    const IID* iid;
    HRESULT result;
  };
  const Case cases[] = {
      {&IID_ITaskbarList, &IID_ITaskbarList, REGDB_E_CLASSNOTREG},
      {&CLSID_TaskbarList, &CLSID_TaskbarList, E_NOINTERFACE},
      {&CLSID_TaskbarList, &IID_ITaskbarList, S_OK},
  };
  for (const Case& c : cases) {
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_SERVER, *c.iid, &object), c.result);
    if (SUCCEEDED(c.result)) list = static_cast<ITaskbarList*>(object);
  }
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->HrInit(), S_OK);
  EXPECT_EQ(list->DeleteTab(reinterpret_cast<HWND>(0x2004C)), S_OK);
  auto calls = host::windows::TaskbarList();
  EXPECT_EQ(calls.created, 1);
  EXPECT_EQ(calls.hrInit, 1);
  EXPECT_EQ(calls.deletedTabs, std::vector<HWND>{reinterpret_cast<HWND>(0x2004C)});

  // An unreleased object and an unbalanced initialisation are left open.
  EXPECT_EQ(host::OpenResources().size(), 2u);
  EXPECT_EQ(list->Release(), 0u);
  CoUninitialize();
  EXPECT_EQ(host::OpenResources().size(), 1u);
  host::windows::SetTaskbarListFailure(E_FAIL);
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_SERVER, IID_ITaskbarList, &object), E_FAIL);
  host::FailCall("CoCreateInstance", static_cast<DWORD>(REGDB_E_CLASSNOTREG));
  EXPECT_EQ(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_SERVER, IID_ITaskbarList, &object),
            REGDB_E_CLASSNOTREG);
  CoUninitialize();
  EXPECT_TRUE(host::OpenResources().empty());
}

DWORD WINAPI ReturnAfterEvent(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  return 5;
}

TEST(Threads, ExitCodesWaitsAndTheLeakCheck) {
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(go, nullptr);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ReturnAfterEvent, go, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(host::OpenResources().size(), 3u);  // the two handles and the running thread
  EXPECT_TRUE(SetEvent(go));
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 5u);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_TRUE(CloseHandle(go));

  // A suspended start is not modelled, so it is refused rather than run at once.
  SetLastError(0xDEAD);
  EXPECT_EQ(CreateThread(nullptr, 0, ReturnAfterEvent, nullptr, 0x4 /* CREATE_SUSPENDED */, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST(Loader, SearchOrderOfBareNames) {
  // A file beside the program named as a system library is found first, unless the program
  // restricted the search to the system's folder.
  struct Case {
    DWORD defaults;  // SetDefaultDllDirectories, 0 for none
    bool systemLibrary;
  };
  const Case cases[] = {{0, false},
                        {LOAD_LIBRARY_SEARCH_SYSTEM32, true},
                        {LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, false},
                        {LOAD_LIBRARY_SEARCH_APPLICATION_DIR, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.defaults);
    testing_support::NextCase("defaults " + std::to_string(c.defaults));
    host::SetModuleFileName(L"C:\\Program\\corvel.exe");
    host::WriteFile(L"C:\\Program\\iphlpapi.dll", "planted");
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    auto setDefault = reinterpret_cast<BOOL(WINAPI*)(DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    ASSERT_NE(setDefault, nullptr);
    if (c.defaults) {
      EXPECT_TRUE(setDefault(c.defaults));
    }
    EXPECT_EQ(host::libraries::DefaultDllDirectories(), c.defaults);
    HMODULE library = LoadLibraryW(L"iphlpapi");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(GetProcAddress(library, "GetIpAddrTable") != nullptr, c.systemLibrary);
    EXPECT_TRUE(FreeLibrary(library));
  }
  // Without the update that brings it, kernel32 lacks the entry point.
  host::libraries::RemoveEntryPoint(L"kernel32.dll", "SetDefaultDllDirectories");
  SetLastError(0xDEAD);
  EXPECT_EQ(GetProcAddress(GetModuleHandleW(L"kernel32"), "SetDefaultDllDirectories"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  std::wstring directory = L"unset";
  EXPECT_TRUE(SetDllDirectoryW(L""));
  EXPECT_TRUE(host::libraries::DllDirectory(&directory));
  EXPECT_EQ(directory, L"");
}

TEST(Loader, LoadLibraryExSearchesWhereItsFlagsSayOverTheProcessDefaults) {
  // A planted "winspool.drv" beside the program loads (without the spooler's entry points)
  // wherever the program's folder is searched; the call's flags replace the process's defaults.
  struct Case {
    DWORD processDefaults;  // SetDefaultDllDirectories, 0 for none
    DWORD flags;
    bool systemLibrary;
  };
  const Case cases[] = {{0, 0, false},
                        {0, LOAD_LIBRARY_SEARCH_SYSTEM32, true},
                        {0, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, false},
                        {LOAD_LIBRARY_SEARCH_SYSTEM32, 0, true},
                        {LOAD_LIBRARY_SEARCH_SYSTEM32, LOAD_LIBRARY_SEARCH_APPLICATION_DIR, false},
                        {LOAD_LIBRARY_SEARCH_APPLICATION_DIR, LOAD_LIBRARY_SEARCH_SYSTEM32, true}};
  for (const Case& c : cases) {
    const std::string label = std::to_string(c.processDefaults) + " " + std::to_string(c.flags);
    SCOPED_TRACE(label);
    testing_support::NextCase(label);
    host::SetModuleFileName(L"C:\\Program\\corvel.exe");
    host::WriteFile(L"C:\\Program\\winspool.drv", "planted");
    if (c.processDefaults) {
      EXPECT_TRUE(SetDefaultDllDirectories(c.processDefaults));
    }
    HMODULE library = LoadLibraryExW(L"winspool.drv", nullptr, c.flags);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(GetProcAddress(library, "EnumPrintersW") != nullptr, c.systemLibrary);
    EXPECT_TRUE(FreeLibrary(library));
  }
  // A system library the machine lacks is missing even with a file of its name beside the program.
  host::libraries::SetPresent(L"winspool.drv", false);
  SetLastError(0xDEAD);
  EXPECT_EQ(LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(host::libraries::References(L"winspool.drv"), 0);
  // Without the update that brings SetDefaultDllDirectories the search flags are unknown.
  host::libraries::RemoveSearchFlags();
  SetLastError(0xDEAD);
  EXPECT_EQ(LoadLibraryExW(L"iphlpapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Processes, SecondProcessSeesTheFirstsNamedMutexUntilItsHandlesClose) {
  HANDLE mine = CreateMutexW(nullptr, TRUE, L"TVQ5530CORVLexists");
  ASSERT_NE(mine, nullptr);
  DWORD seenError = 0;
  DWORD seenProcess = 0;
  DWORD second = host::process::RunAsProcess([&] {
    seenProcess = GetCurrentProcessId();
    HANDLE theirs = CreateMutexW(nullptr, TRUE, L"TVQ5530CORVLexists");
    seenError = GetLastError();
    (void)theirs;  // left open: closed when the process ends
    SmallDialog();  // likewise its window
  });
  EXPECT_EQ(seenError, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(seenProcess, second);
  EXPECT_NE(second, GetCurrentProcessId());
  EXPECT_TRUE(ReleaseMutex(mine));
  EXPECT_TRUE(CloseHandle(mine));
  EXPECT_TRUE(host::OpenResources().empty());

  DWORD laterError = 0xDEAD;
  host::process::RunAsProcess([&] {
    HANDLE again = CreateMutexW(nullptr, TRUE, L"TVQ5530CORVLexists");
    laterError = GetLastError();
    ReleaseMutex(again);
    CloseHandle(again);
  });
  EXPECT_EQ(laterError, 0u);  // gone with its last handle
}

TEST(WindowManager, LeftOpenWindowsAndTimersAreListed) {
  HWND dialog = SmallDialog();
  UINT_PTR timer = SetTimer(nullptr, 0, 100, nullptr);
  ASSERT_NE(timer, 0u);
  auto open = host::OpenResources();
  ASSERT_EQ(open.size(), 2u);
  EXPECT_NE(open[0].find("\"Small\""), std::string::npos);
  EXPECT_NE(open[1].find("thread timer"), std::string::npos);
  EXPECT_TRUE(KillTimer(nullptr, timer));
  EXPECT_TRUE(DestroyWindow(dialog));
}

TEST(Settings, CommonControlClassesAsked) {
  EXPECT_EQ(host::windows::CommonControlClasses(), 0u);
  INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  EXPECT_TRUE(InitCommonControlsEx(&init));
  init = INITCOMMONCONTROLSEX{4, ICC_DATE_CLASSES};
  SetLastError(0xDEAD);
  EXPECT_FALSE(InitCommonControlsEx(&init));
  EXPECT_EQ(host::windows::CommonControlClasses(), static_cast<DWORD>(ICC_WIN95_CLASSES));
}

TEST(Settings, LanguagesAndExecutionState) {
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x0409);
  host::windows::SetUiLanguages(0x040D, 0x0409, 0x0407, 0x0401);
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x040D);
  EXPECT_EQ(GetSystemDefaultUILanguage(), 0x0409);
  EXPECT_EQ(GetUserDefaultLangID(), 0x0407);
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0401);

  EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED), static_cast<DWORD>(ES_CONTINUOUS));
  EXPECT_EQ(SetThreadExecutionState(ES_SYSTEM_REQUIRED), static_cast<DWORD>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
  EXPECT_EQ(host::windows::ExecutionState(GetCurrentThreadId()),
            static_cast<DWORD>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
  EXPECT_EQ(SetThreadExecutionState(0x100), 0u);
  EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), static_cast<DWORD>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
  EXPECT_EQ(host::windows::ExecutionState(GetCurrentThreadId()), static_cast<DWORD>(ES_CONTINUOUS));
}

}  // namespace
