// ui_driver: drives the program's windows from a second process, the way a user would, and prints
// what it sees, one line per observation, for a test script to check.
//
//   ui_driver.exe [--timeout MS] [--box-caption TEXT] COMMAND [ARGUMENTS]...
//
// The commands run in the order given; the first one that fails prints "FAILED: <why>" and ends
// the run with exit status 1. A command line it cannot read ends it with status 2 before any
// command runs. Every wait is bounded by the time-out (default 20000 ms); the options apply to
// the commands after them.
//
//   wait-dialog TITLE     waits for a visible top-level window with this title and with controls;
//                         the later commands act on it and on its process
//   dump                  the dialog's title and size ("size: WxH", pixels), its controls
//                         (identifier, class, text), the list view's columns and rows
//   count-dialogs TITLE   how many top-level windows of any process have this title
//   expect-box TEXT       waits for a message box of the dialog's process (class #32770, the box
//                         caption), checks its text and presses its OK button
//   expect-other-box TEXT the same for a message box of any other process
//   wait-box-exit         waits until the process of the last box has ended
//   select-row N          selects row N of the list view (and deselects the others)
//   press ID              clicks the dialog's button with this identifier (posted, so that a
//                         message box the click opens does not hold up the driver)
//   press-download        press 1 (the default button)
//   close                 press 2 (the Cancel button)
//   wait-exit             waits until the dialog's process has ended
//   sleep MS              waits MS milliseconds
//   screenshot FILE       writes the dialog's area of the screen as a 24-bit BMP file
//   wait-window TITLE     waits for a visible top-level window of the dialog's process with this
//                         title (another dialog of the program, e.g. its progress dialog)
//   screenshot-window FILE  the same for the window wait-window found
//   screenshot-box FILE   waits for a message box of the dialog's process to draw its text and
//                         writes its area, leaving it open (expect-box then checks and presses it)
//   wait-cell TEXT        waits until a cell of a selected row of the list view holds this text;
//                         a message box of the dialog's process ends the wait (reported, failed)
//   wait-rows N           waits until the list view has at least N rows and the status line
//                         (control 1000) is empty: the list is built
//   dpi-changed DPI       sends the dialog WM_DPICHANGED as a move to a display of DPI would (the
//                         suggested rectangle: its own, the size scaled from 96 DPI, in the
//                         dialog's process)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

DWORD g_timeoutMs = 20000;
std::wstring g_boxCaption = L"Firmware Download Utility";

HWND g_dialog = nullptr;
HWND g_window = nullptr;  // the window wait-window found
DWORD g_dialogPid = 0;
HANDLE g_dialogProcess = nullptr;  // SYNCHRONIZE and memory access, for the list view and wait-exit
HANDLE g_boxProcess = nullptr;     // SYNCHRONIZE, the process of the last box pressed
DWORD g_boxPid = 0;

// Standard output as UTF-8 text, flushed per line so that a script sees each observation at once.
void Print(const std::wstring& line) {
  std::wstring withEnd = line + L"\n";
  int size = WideCharToMultiByte(CP_UTF8, 0, withEnd.c_str(), static_cast<int>(withEnd.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, withEnd.c_str(), static_cast<int>(withEnd.size()), &bytes[0], size, nullptr,
                      nullptr);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  fflush(stdout);
}

struct Failure {
  std::wstring why;
};

// A command line the driver cannot read: status 2, before anything is done.
struct Malformed {
  std::wstring why;
};

[[noreturn]] void Fail(const std::wstring& why) { throw Failure{why}; }

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring Number(unsigned long long value) { return std::to_wstring(value); }

std::wstring LastError() { return L"error " + Number(GetLastError()); }

// Polls `found` every 50 ms until it returns true or the time-out has passed.
template <typename Predicate>
bool WaitFor(Predicate found) {
  const ULONGLONG end = GetTickCount64() + g_timeoutMs;
  for (;;) {
    if (found()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(50);
  }
}

// Sends a message with a bound, so that a program that hangs fails the run instead of holding it.
LRESULT SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, g_timeoutMs, &result)) {
    Fail(L"message " + Number(message) + L" got no answer: " + LastError());
  }
  return static_cast<LRESULT>(result);
}

std::wstring WindowText(HWND window) {
  // WM_GETTEXT reaches a window of another process with its text copied back, unlike
  // GetWindowTextW, which reads only the caption the system keeps.
  const LRESULT length = SendBounded(window, WM_GETTEXTLENGTH, 0, 0);
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = SendBounded(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return std::wstring(text.data(), static_cast<size_t>(copied));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

HWND RequireDialog() {
  if (!g_dialog) Fail(L"no dialog yet: use wait-dialog first");
  if (!IsWindow(g_dialog)) Fail(L"the dialog is gone");
  return g_dialog;
}

HWND RequireControl(int id) {
  HWND control = GetDlgItem(RequireDialog(), id);
  if (!control) Fail(L"the dialog has no control " + Number(id));
  return control;
}

// Memory in the dialog's process, for list-view messages whose parameters hold pointers: the
// list view reads and writes them in its own address space.
class RemoteBuffer {
 public:
  explicit RemoteBuffer(size_t size) : size_(size) {
    address_ = VirtualAllocEx(g_dialogProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!address_) Fail(L"VirtualAllocEx in the dialog's process failed: " + LastError());
  }
  ~RemoteBuffer() { VirtualFreeEx(g_dialogProcess, address_, 0, MEM_RELEASE); }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  char* At(size_t offset) const { return static_cast<char*>(address_) + offset; }
  void Write(size_t offset, const void* data, size_t size) const {
    SIZE_T done = 0;
    if (offset + size > size_ || !WriteProcessMemory(g_dialogProcess, At(offset), data, size, &done) ||
        done != size) {
      Fail(L"WriteProcessMemory failed: " + LastError());
    }
  }
  void Read(size_t offset, void* data, size_t size) const {
    SIZE_T done = 0;
    if (offset + size > size_ || !ReadProcessMemory(g_dialogProcess, At(offset), data, size, &done) ||
        done != size) {
      Fail(L"ReadProcessMemory failed: " + LastError());
    }
  }

 private:
  void* address_;
  size_t size_;
};

constexpr int kTextChars = 1024;
constexpr size_t kTextOffset = 256;  // the text buffer follows the structure in the remote block

// Column `index` of the list view: false when it has no such column.
bool ListColumn(HWND list, int index, std::wstring& title, int& width) {
  RemoteBuffer remote(kTextOffset + kTextChars * sizeof(wchar_t));
  LVCOLUMNW column = {};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = reinterpret_cast<LPWSTR>(remote.At(kTextOffset));
  column.cchTextMax = kTextChars;
  remote.Write(0, &column, sizeof column);
  const wchar_t empty = L'\0';
  remote.Write(kTextOffset, &empty, sizeof empty);
  if (!SendBounded(list, LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote.At(0)))) {
    return false;
  }
  std::vector<wchar_t> text(kTextChars, L'\0');
  remote.Read(0, &column, sizeof column);
  remote.Read(kTextOffset, text.data(), text.size() * sizeof(wchar_t));
  text.back() = L'\0';
  title = text.data();
  width = column.cx;
  return true;
}

std::wstring ItemText(HWND list, int row, int column) {
  RemoteBuffer remote(kTextOffset + kTextChars * sizeof(wchar_t));
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(remote.At(kTextOffset));
  item.cchTextMax = kTextChars;
  remote.Write(0, &item, sizeof item);
  const LRESULT length =
      SendBounded(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.At(0)));
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  remote.Read(kTextOffset, text.data(), static_cast<size_t>(length) * sizeof(wchar_t));
  return text.data();
}

// The dialog's list view: its first child of the list-view class.
HWND FindList() {
  for (HWND child = GetWindow(RequireDialog(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == WC_LISTVIEWW) return child;
  }
  return nullptr;
}

void WaitDialog(const std::wstring& title) {
  HWND found = nullptr;
  // The title can exist before the dialog's initialisation has ended; the dialog is shown after it.
  const bool ready = WaitFor([&] {
    found = FindWindowW(nullptr, title.c_str());
    return found && IsWindowVisible(found) && GetWindow(found, GW_CHILD) != nullptr;
  });
  if (!ready) Fail(L"no visible window " + Quoted(title) + L" with controls within " + Number(g_timeoutMs) + L" ms");
  g_dialog = found;
  GetWindowThreadProcessId(found, &g_dialogPid);
  if (g_dialogProcess) CloseHandle(g_dialogProcess);
  g_dialogProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_OPERATION |
                                    PROCESS_VM_READ | PROCESS_VM_WRITE,
                                FALSE, g_dialogPid);
  if (!g_dialogProcess) Fail(L"OpenProcess of the dialog's process failed: " + LastError());
  Print(L"dialog: " + Quoted(WindowText(found)) + L" class " + ClassOf(found));
}

void Dump() {
  HWND dialog = RequireDialog();
  Print(L"title: " + Quoted(WindowText(dialog)));
  RECT frame{};
  GetWindowRect(dialog, &frame);
  Print(L"size: " + Number(static_cast<unsigned>(frame.right - frame.left)) + L"x" +
        Number(static_cast<unsigned>(frame.bottom - frame.top)));
  HWND list = nullptr;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring className = ClassOf(child);
    if (className == WC_LISTVIEWW && !list) list = child;
    Print(L"control " + Number(static_cast<unsigned>(GetDlgCtrlID(child))) + L" " + className + L" " +
          Quoted(WindowText(child)) + (IsWindowVisible(child) ? L"" : L" hidden") +
          (IsWindowEnabled(child) ? L"" : L" disabled"));
  }
  if (!list) return;
  int columns = 0;
  std::wstring title;
  int width = 0;
  while (ListColumn(list, columns, title, width)) {
    Print(L"column " + Number(static_cast<unsigned>(columns)) + L" " + Quoted(title) + L" width " +
          Number(static_cast<unsigned>(width)));
    ++columns;
  }
  const int rows = static_cast<int>(SendBounded(list, LVM_GETITEMCOUNT, 0, 0));
  Print(L"rows: " + Number(static_cast<unsigned>(rows)));
  for (int row = 0; row < rows; ++row) {
    std::wstring line = L"row " + Number(static_cast<unsigned>(row));
    for (int column = 0; column < (columns ? columns : 1); ++column) line += L" " + Quoted(ItemText(list, row, column));
    if (SendBounded(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) {
      line += L" selected";
    }
    Print(line);
  }
}

struct BoxSearch {
  DWORD pid;
  bool samePid;  // boxes of this process, or of every other one
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<BoxSearch*>(parameter);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if ((pid == search->pid) != search->samePid || window == g_dialog || !IsWindowVisible(window) ||
      ClassOf(window) != L"#32770") {
    return TRUE;
  }
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, 256);
  if (g_boxCaption != caption) return TRUE;
  search->found = window;
  return FALSE;
}

// Waits for a message box of the dialog's process (or of another), reports it, checks its text
// and presses OK; the box must then go away.
// True when the window's thread takes a message within a second: the dialog's thread is not busy
// in a long step (building the list, a download), during which a message would wait for it.
bool Answers(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) != 0;
}

HWND WaitBox(bool sameProcess) {
  RequireDialog();
  BoxSearch search{g_dialogPid, sameProcess, nullptr};
  const bool found = WaitFor([&] {
    search.found = nullptr;
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  const std::wstring whose = sameProcess ? L"the dialog's process" : L"another process";
  if (!found) Fail(L"no message box " + Quoted(g_boxCaption) + L" of " + whose + L" within " + Number(g_timeoutMs) + L" ms");
  return search.found;
}

// A message box of the dialog's process once it has drawn its text: the box is visible before
// its first paint, which a copy of the screen would show empty.
HWND PaintedBox() {
  HWND box = WaitBox(true);
  if (!WaitFor([&] { return GetDlgItem(box, 0xFFFF) != nullptr && Answers(box); })) Fail(L"the box does not answer");
  RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(300);
  return box;
}

void ExpectBox(const std::wstring& expected, bool sameProcess) {
  HWND box = WaitBox(sameProcess);
  const std::wstring whose = sameProcess ? L"the dialog's process" : L"another process";
  // A box that opens after a long step of its thread (a failed download) exists before that
  // thread takes its first message; until then Wine counts the thread as hung and refuses the
  // bounded messages that read the box.
  if (!WaitFor([&] { return GetDlgItem(box, 0xFFFF) != nullptr && Answers(box); })) Fail(L"the box does not answer");
  HWND textControl = GetDlgItem(box, 0xFFFF);
  const std::wstring text = textControl ? WindowText(textControl) : L"";
  HWND owner = GetWindow(box, GW_OWNER);
  const bool topmost = (GetWindowLongPtrW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  // A message box shows its icon in a static control with the SS_ICON style, which a box without
  // an icon may have too, empty.
  bool icon = false;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == L"Static" && (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendBounded(child, STM_GETICON, 0, 0) != 0) {
      icon = true;
    }
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(box, &pid);
  Print(L"box: " + Quoted(text) + L" caption " + Quoted(g_boxCaption) + L" class #32770 of " + whose +
        (topmost ? L" topmost" : L" not-topmost") + (owner ? L" owned" : L" no-owner") +
        (icon ? L" icon" : L" no-icon"));
  if (text != expected) Fail(L"the box says " + Quoted(text) + L", not " + Quoted(expected));
  if (g_boxProcess) CloseHandle(g_boxProcess);
  g_boxProcess = OpenProcess(SYNCHRONIZE, FALSE, pid);
  g_boxPid = pid;
  HWND ok = GetDlgItem(box, IDOK);
  if (!ok) Fail(L"the box has no OK button");
  PostMessageW(ok, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); })) Fail(L"the box stayed open after OK");
  Print(L"box closed");
}

struct TitleCount {
  const wchar_t* title;
  int count;
};

BOOL CALLBACK CountTitle(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<TitleCount*>(parameter);
  wchar_t title[512] = {};
  GetWindowTextW(window, title, 512);
  if (wcscmp(title, search->title) == 0) ++search->count;
  return TRUE;
}

void CountDialogs(const std::wstring& title) {
  TitleCount search{title.c_str(), 0};
  EnumWindows(CountTitle, reinterpret_cast<LPARAM>(&search));
  Print(L"dialogs " + Quoted(title) + L": " + Number(static_cast<unsigned>(search.count)));
}

void Press(int id) {
  HWND button = RequireControl(id);
  const std::wstring text = WindowText(button);
  // Posted: a click whose handler opens a modal box would hold a sent message until the box ends.
  if (!PostMessageW(button, BM_CLICK, 0, 0)) Fail(L"PostMessageW(BM_CLICK) failed: " + LastError());
  Print(L"pressed " + Number(static_cast<unsigned>(id)) + L" " + Quoted(text));
}

void DpiChanged(int dpi) {
  HWND dialog = RequireDialog();
  RECT frame{};
  GetWindowRect(dialog, &frame);
  RECT suggested{frame.left, frame.top, frame.left + MulDiv(frame.right - frame.left, dpi, 96),
                 frame.top + MulDiv(frame.bottom - frame.top, dpi, 96)};
  RemoteBuffer remote(sizeof suggested);
  remote.Write(0, &suggested, sizeof suggested);
  SendBounded(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote.At(0)));
  Print(L"dpi changed: " + Number(static_cast<unsigned>(dpi)));
}

void SelectRow(int row) {
  RequireDialog();
  HWND list = FindList();
  if (!list) Fail(L"the dialog has no list view");
  const int rows = static_cast<int>(SendBounded(list, LVM_GETITEMCOUNT, 0, 0));
  if (row < 0 || row >= rows) Fail(L"the list has " + Number(static_cast<unsigned>(rows)) + L" rows, no row " + std::to_wstring(row));
  RemoteBuffer remote(sizeof(LVITEMW));
  LVITEMW item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = 0;
  remote.Write(0, &item, sizeof item);
  SendBounded(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(remote.At(0)));
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  remote.Write(0, &item, sizeof item);
  if (!SendBounded(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.At(0)))) {
    Fail(L"LVM_SETITEMSTATE failed for row " + std::to_wstring(row));
  }
  Print(L"selected row " + std::to_wstring(row));
}

void WaitExit(HANDLE process, DWORD pid) {
  if (!process) Fail(L"no process to wait for");
  if (WaitForSingleObject(process, g_timeoutMs) != WAIT_OBJECT_0) {
    Fail(L"process " + Number(pid) + L" still runs after " + Number(g_timeoutMs) + L" ms");
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  Print(L"process ended, exit code " + Number(code));
}

struct WindowSearch {
  DWORD pid;
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK FindWindowOfDialogProcess(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid || window == g_dialog || !IsWindowVisible(window)) return TRUE;
  wchar_t title[512] = {};
  GetWindowTextW(window, title, 512);
  if (*search->title != title) return TRUE;
  search->found = window;
  return FALSE;
}

void WaitWindow(const std::wstring& title) {
  RequireDialog();
  WindowSearch search{g_dialogPid, &title, nullptr};
  const bool found = WaitFor([&] {
    search.found = nullptr;
    EnumWindows(FindWindowOfDialogProcess, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  if (!found) {
    Fail(L"no visible window " + Quoted(title) + L" of the dialog's process within " + Number(g_timeoutMs) + L" ms");
  }
  g_window = search.found;
  Print(L"window: " + Quoted(title) + L" class " + ClassOf(g_window));
}

void WaitRows(int wanted) {
  HWND dialog = RequireDialog();
  HWND list = FindList();
  if (!list) Fail(L"the dialog has no list view");
  HWND status = GetDlgItem(dialog, 1000);
  int rows = 0;
  const bool built = WaitFor([&] {
    if (!Answers(dialog)) return false;
    rows = static_cast<int>(SendBounded(list, LVM_GETITEMCOUNT, 0, 0));
    return rows >= wanted && (!status || WindowText(status).empty());
  });
  if (!built) {
    Fail(L"the list has " + Number(static_cast<unsigned>(rows)) + L" rows, not " + std::to_wstring(wanted) +
         L", after " + Number(g_timeoutMs) + L" ms");
  }
  Print(L"rows ready: " + Number(static_cast<unsigned>(rows)));
}

// Waits until a cell of a selected row holds `text`. A message box of the dialog's process
// (a failed download) ends the wait at once, with its text.
void WaitCell(const std::wstring& text) {
  RequireDialog();
  HWND list = FindList();
  if (!list) Fail(L"the dialog has no list view");
  int foundRow = -1, foundColumn = -1;
  HWND box = nullptr;
  const bool found = WaitFor([&] {
    BoxSearch search{g_dialogPid, true, nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if ((box = search.found) != nullptr) return true;
    if (!Answers(list)) return false;
    const int rows = static_cast<int>(SendBounded(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
      if (!(SendBounded(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED)) continue;
      for (int column = 0; column < 3; ++column) {
        if (ItemText(list, row, column) == text) {
          foundRow = row;
          foundColumn = column;
          return true;
        }
      }
    }
    return false;
  });
  if (box) {
    HWND textControl = GetDlgItem(box, 0xFFFF);
    Fail(L"a message box came instead of the cell " + Quoted(text) + L": " +
         Quoted(textControl ? WindowText(textControl) : L""));
  }
  if (!found) Fail(L"no cell " + Quoted(text) + L" in a selected row within " + Number(g_timeoutMs) + L" ms");
  Print(L"cell: row " + Number(static_cast<unsigned>(foundRow)) + L" column " +
        Number(static_cast<unsigned>(foundColumn)) + L" " + Quoted(text));
}

// Writes the window's area of the screen as a 24-bit BMP. A copy of the screen, not PrintWindow,
// which Wine answers with a blank image.
void Screenshot(HWND window, const std::wstring& file) {
  RECT area = {};
  GetWindowRect(window, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  const BOOL copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<size_t>(rowBytes) * static_cast<size_t>(height));
  const int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied || lines != height) Fail(L"could not copy the screen");
  BITMAPFILEHEADER fileHeader = {};
  fileHeader.bfType = 0x4D42;  // "BM"
  fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
  fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = _wfopen(file.c_str(), L"wb");
  if (!out) Fail(L"cannot write " + file);
  const bool written = fwrite(&fileHeader, sizeof fileHeader, 1, out) == 1 && fwrite(&header, sizeof header, 1, out) == 1 &&
                       fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  if (fclose(out) != 0 || !written) Fail(L"cannot write " + file);
  Print(L"screenshot " + Number(static_cast<unsigned>(width)) + L"x" + Number(static_cast<unsigned>(height)) + L" " + file);
}

int ParseNumber(const std::wstring& text) {
  wchar_t* end = nullptr;
  const long value = wcstol(text.c_str(), &end, 0);
  if (text.empty() || *end) throw Malformed{Quoted(text) + L" is not a number"};
  return static_cast<int>(value);
}

enum class Takes { kNothing, kText, kNumber };

struct Command {
  const wchar_t* name;
  Takes takes;
  void (*run)(const std::wstring& text, int number);
};

const Command kCommands[] = {
    {L"--timeout", Takes::kNumber, [](const std::wstring&, int n) { g_timeoutMs = static_cast<DWORD>(n); }},
    {L"--box-caption", Takes::kText, [](const std::wstring& t, int) { g_boxCaption = t; }},
    {L"wait-dialog", Takes::kText, [](const std::wstring& t, int) { WaitDialog(t); }},
    {L"dump", Takes::kNothing, [](const std::wstring&, int) { Dump(); }},
    {L"count-dialogs", Takes::kText, [](const std::wstring& t, int) { CountDialogs(t); }},
    {L"expect-box", Takes::kText, [](const std::wstring& t, int) { ExpectBox(t, true); }},
    {L"expect-other-box", Takes::kText, [](const std::wstring& t, int) { ExpectBox(t, false); }},
    {L"wait-box-exit", Takes::kNothing, [](const std::wstring&, int) { WaitExit(g_boxProcess, g_boxPid); }},
    {L"select-row", Takes::kNumber, [](const std::wstring&, int n) { SelectRow(n); }},
    {L"press", Takes::kNumber, [](const std::wstring&, int n) { Press(n); }},
    {L"press-download", Takes::kNothing, [](const std::wstring&, int) { Press(IDOK); }},
    {L"close", Takes::kNothing, [](const std::wstring&, int) { Press(IDCANCEL); }},
    {L"wait-exit", Takes::kNothing, [](const std::wstring&, int) { WaitExit(g_dialogProcess, g_dialogPid); }},
    {L"sleep", Takes::kNumber, [](const std::wstring&, int n) { Sleep(static_cast<DWORD>(n)); }},
    {L"screenshot", Takes::kText, [](const std::wstring& t, int) { Screenshot(RequireDialog(), t); }},
    {L"wait-window", Takes::kText, [](const std::wstring& t, int) { WaitWindow(t); }},
    {L"screenshot-window", Takes::kText,
     [](const std::wstring& t, int) {
       if (!g_window || !IsWindow(g_window)) Fail(L"no window: use wait-window first");
       Screenshot(g_window, t);
     }},
    {L"screenshot-box", Takes::kText, [](const std::wstring& t, int) { Screenshot(PaintedBox(), t); }},
    {L"wait-cell", Takes::kText, [](const std::wstring& t, int) { WaitCell(t); }},
    {L"wait-rows", Takes::kNumber, [](const std::wstring&, int n) { WaitRows(n); }},
    {L"dpi-changed", Takes::kNumber, [](const std::wstring&, int n) { DpiChanged(n); }},
};

struct Step {
  const Command* command;
  std::wstring text;
  int number;
};

// The whole command line, read before anything runs.
std::vector<Step> ReadCommandLine(int argc, wchar_t** argv) {
  std::vector<Step> steps;
  for (int i = 1; i < argc; ++i) {
    const Command* command = nullptr;
    for (const Command& known : kCommands) {
      if (argv[i] == std::wstring(known.name)) command = &known;
    }
    if (!command) throw Malformed{L"unknown command " + Quoted(argv[i])};
    Step step{command, L"", 0};
    if (command->takes != Takes::kNothing) {
      if (++i >= argc) throw Malformed{std::wstring(command->name) + L" needs an argument"};
      step.text = argv[i];
      if (command->takes == Takes::kNumber) step.number = ParseNumber(step.text);
    }
    steps.push_back(step);
  }
  return steps;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Sizes are read in the display's own pixels, as the program (per-monitor aware) lays them out.
  SetProcessDPIAware();
  try {
    for (const Step& step : ReadCommandLine(argc, argv)) step.command->run(step.text, step.number);
  } catch (const Malformed& malformed) {
    Print(L"FAILED: " + malformed.why);
    return 2;
  } catch (const Failure& failure) {
    Print(L"FAILED: " + failure.why);
    return 1;
  }
  return 0;
}
