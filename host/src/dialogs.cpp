// The dialog manager: dialogs from DLGTEMPLATE and DLGTEMPLATEEX templates (in memory or from
// the program's resources), the modal loop, EndDialog, IsDialogMessageW, the default dialog
// procedure, dialog items and push buttons.
#include <cstring>

#include "host/display.h"
#include "host/machine.h"
#include "host/resources.h"
#include "internal.h"
#include "windows_internal.h"
#include "winhost/kernel.h"
#include "winhost/libraries.h"

namespace host {
namespace win {
namespace {

// Dialog base units of "MS Shell Dlg" 8 points, and of the system font (dialogs without a font).
constexpr int kShellDlgBaseX = 6;
constexpr int kShellDlgBaseY = 13;
constexpr int kSystemBaseX = 8;
constexpr int kSystemBaseY = 16;
const HFONT kDialogFont = reinterpret_cast<HFONT>(static_cast<uintptr_t>(0x0A0B0C0D));

struct Item {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  std::wstring className;
  std::wstring text;
};

struct Template {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::wstring className;
  std::wstring title;
  WORD pointSize = 0;
  std::wstring typeface;
  std::vector<Item> items;
};

// Reads the template's little-endian UTF-16 words; `size` bounds the reading (SIZE_MAX when the
// caller's template has no known size).
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  WORD Word() {
    if (!Has(2)) return 0;
    WORD value = static_cast<WORD>(data_[at_] | (data_[at_ + 1] << 8));
    at_ += 2;
    return value;
  }
  DWORD Dword() {
    DWORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  short Short() { return static_cast<short>(Word()); }
  uint8_t Byte() {
    if (!Has(1)) return 0;
    return data_[at_++];
  }
  // A null-terminated UTF-16 text, as wide characters of this platform.
  std::wstring Text() {
    std::u16string units;
    for (WORD unit = Word(); ok_ && unit != 0; unit = Word()) units.push_back(static_cast<char16_t>(unit));
    std::wstring text;
    for (size_t i = 0; i < units.size(); ++i) {
      char32_t c = units[i];
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
      }
      text.push_back(static_cast<wchar_t>(c));
    }
    return text;
  }
  // A name or ordinal field: nothing (0x0000), an ordinal (0xFFFF, value) or a text.
  std::wstring NameOrOrdinal(WORD* ordinal) {
    *ordinal = 0;
    WORD first = Word();
    if (first == 0) return {};
    if (first == 0xFFFF) {
      *ordinal = Word();
      return {};
    }
    at_ -= 2;
    return Text();
  }
  void AlignDword() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
  void Skip(size_t bytes) {
    if (Has(bytes)) at_ += bytes;
  }

 private:
  bool Has(size_t bytes) {
    if (size_ - at_ >= bytes && at_ <= size_) return true;
    ok_ = false;
    return false;
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  bool ok_ = true;
};

std::wstring ClassOfOrdinal(WORD ordinal) {
  switch (ordinal) {
    case 0x0080:
      return L"Button";
    case 0x0081:
      return L"Edit";
    case 0x0082:
      return L"Static";
    case 0x0083:
      return L"ListBox";
    case 0x0084:
      return L"ScrollBar";
    case 0x0085:
      return L"ComboBox";
  }
  return L"#" + std::to_wstring(ordinal);
}

bool Parse(const void* data, size_t size, Template* out) {
  if (!data) return false;
  Reader r(static_cast<const uint8_t*>(data), size);
  WORD version = r.Word();
  WORD signature = r.Word();
  bool extended = version == 1 && signature == 0xFFFF;
  if (extended) {
    r.Dword();  // help identifier
    out->exStyle = r.Dword();
    out->style = r.Dword();
  } else {
    out->style = version | (static_cast<DWORD>(signature) << 16);
    out->exStyle = r.Dword();
  }
  WORD count = r.Word();
  out->x = r.Short();
  out->y = r.Short();
  out->cx = r.Short();
  out->cy = r.Short();
  WORD ordinal;
  r.NameOrOrdinal(&ordinal);  // menu: dialogs here have none
  out->className = r.NameOrOrdinal(&ordinal);
  if (ordinal) out->className = L"#" + std::to_wstring(ordinal);
  out->title = r.Text();
  if (out->style & DS_SETFONT) {
    out->pointSize = r.Word();
    if (extended) {
      r.Word();  // weight
      r.Byte();  // italic
      r.Byte();  // character set
    }
    out->typeface = r.Text();
  }
  for (WORD i = 0; i < count && r.ok(); ++i) {
    r.AlignDword();
    Item item;
    if (extended) {
      r.Dword();  // help identifier
      item.exStyle = r.Dword();
      item.style = r.Dword();
    } else {
      item.style = r.Dword();
      item.exStyle = r.Dword();
    }
    item.x = r.Short();
    item.y = r.Short();
    item.cx = r.Short();
    item.cy = r.Short();
    item.id = extended ? r.Dword() : r.Word();
    item.className = r.NameOrOrdinal(&ordinal);
    if (ordinal) item.className = ClassOfOrdinal(ordinal);
    item.text = r.NameOrOrdinal(&ordinal);  // an ordinal names a resource (an icon): no text
    WORD extra = r.Word();
    r.Skip(extra);
    out->items.push_back(item);
  }
  return r.ok();
}

RECT Map(int x, int y, int cx, int cy, int baseX, int baseY) {
  int left = MulDiv(x, baseX, 4);
  int top = MulDiv(y, baseY, 8);
  return RECT{left, top, left + MulDiv(cx, baseX, 4), top + MulDiv(cy, baseY, 8)};
}

// Creates the dialog and its controls and sends WM_INITDIALOG; shows it when the template says
// WS_VISIBLE. Null when a control's class is unknown (unless DS_NOFAILCREATE) or the dialog
// ended its own life during initialisation.
HWND CreateFromTemplate(const Template& t, HINSTANCE instance, HWND owner, DLGPROC dialogProc, LPARAM initParam) {
  int baseX = kSystemBaseX;
  int baseY = kSystemBaseY;
  if (t.style & DS_SETFONT) {
    baseX = (kShellDlgBaseX * t.pointSize + 4) / 8;
    baseY = (kShellDlgBaseY * t.pointSize + 4) / 8;
  }
  // The font's pixels grow with the display's DPI, and the dialog units with them.
  const int dpi = static_cast<int>(host::display::Dpi());
  baseX = MulDiv(baseX, dpi, 96);
  baseY = MulDiv(baseY, dpi, 96);
  if (!t.className.empty()) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);  // private dialog classes are not modelled
    return nullptr;
  }
  RECT client = Map(t.x, t.y, t.cx, t.cy, baseX, baseY);
  LONG width = client.right - client.left;
  LONG height = client.bottom - client.top;
  POINT position{client.left, client.top};
  if (owner && !(t.style & DS_ABSALIGN)) {
    RECT ownerRect;
    GetWindowRect(owner, &ownerRect);
    position.x += ownerRect.left;
    position.y += ownerRect.top;
  }
  CreateParams params;
  params.className = L"#32770";
  params.text = t.title;
  params.style = t.style & ~static_cast<DWORD>(WS_VISIBLE);
  params.exStyle = t.exStyle;
  params.rect = RECT{position.x, position.y, position.x + width, position.y + height};
  params.clientSize = true;
  params.center = (t.style & DS_CENTER) != 0;
  params.parent = owner;
  params.instance = instance;
  params.dialog = true;
  params.dialogProc = dialogProc;
  params.baseX = baseX;
  params.baseY = baseY;
  HWND dialog = CreateWindowOf(params);
  if (!dialog) return nullptr;
  if (t.style & DS_SETFONT) SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(kDialogFont), 0);

  HWND focus = nullptr;
  for (const Item& item : t.items) {
    CreateParams control;
    control.className = item.className;
    control.text = item.text;
    control.style = item.style | WS_CHILD;
    control.exStyle = item.exStyle;
    control.rect = Map(item.x, item.y, item.cx, item.cy, baseX, baseY);
    control.parent = dialog;
    control.id = static_cast<LONG_PTR>(item.id);
    control.instance = instance;
    HWND child = CreateWindowOf(control);
    if (!child) {
      if (t.style & DS_NOFAILCREATE) continue;
      DWORD error = GetLastError();
      DestroyWindow(dialog);
      SetLastError(error);
      return nullptr;
    }
    if (t.style & DS_SETFONT) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(kDialogFont), 0);
    if (!focus && (item.style & WS_TABSTOP) && (item.style & WS_VISIBLE) && !(item.style & WS_DISABLED)) focus = child;
  }
  if (SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam) && focus && IsWindow(focus)) {
    SetFocus(focus);
  }
  if (!IsWindow(dialog)) return nullptr;
  INT_PTR ended;
  if ((t.style & WS_VISIBLE) && !DialogEnded(dialog, &ended)) ShowWindow(dialog, SW_SHOWNORMAL);
  return dialog;
}

// The template of a dialog resource of the program's module.
bool TemplateOfResource(HINSTANCE instance, LPCWSTR name, Template* out) {
  HRSRC resource = FindResourceW(instance, name, RT_DIALOG);
  if (!resource) return false;
  const void* data = LockResource(LoadResource(instance, resource));
  if (!Parse(data, SizeofResource(instance, resource), out)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  return true;
}

// Runs the modal loop of a created dialog until EndDialog; destroys the dialog and returns the
// result. The owner is disabled meanwhile. The dialog is shown when the queue first runs empty
// (or at the first WM_TIMER), as Windows does for a template without WS_VISIBLE.
INT_PTR RunModal(HWND dialog, HWND owner) {
  bool ownerDisabled = owner && IsWindowEnabled(owner) && !EnableWindow(owner, FALSE);
  bool shown = IsWindowVisible(dialog) != FALSE;
  INT_PTR result = 0;
  while (IsWindow(dialog) && !DialogEnded(dialog, &result)) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!shown) {
        ShowWindow(dialog, SW_SHOWNORMAL);
        shown = true;
        continue;
      }
      if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
        if (msg.message == WM_QUIT) PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
    } else if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (!shown && msg.message == WM_TIMER) {
      ShowWindow(dialog, SW_SHOWNORMAL);
      shown = true;
    }
  }
  if (ownerDisabled) EnableWindow(owner, TRUE);
  if (IsWindow(dialog)) DestroyWindow(dialog);
  return result;
}

INT_PTR ModalFromTemplate(const Template& t, HINSTANCE instance, HWND parent, DLGPROC dialogProc, LPARAM initParam) {
  if (parent && !IsWindow(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  HWND dialog = CreateFromTemplate(t, instance, parent, dialogProc, initParam);
  if (!dialog) return -1;
  return RunModal(dialog, parent);
}

bool IsDialogMessageFor(HWND dialog, HWND window) {
  if (window == dialog) return true;
  for (HWND parent = GetParent(window); parent; parent = GetParent(parent)) {
    if (parent == dialog) return true;
  }
  return false;
}

// The identifier the Enter key presses: the default push button's, else IDOK.
int DefaultButtonId(HWND dialog) {
  for (HWND child : ChildrenOf(dialog)) {
    if (NamesEqual(ClassNameOf(child), L"Button") && (StyleOf(child) & 0x0F) == BS_DEFPUSHBUTTON) {
      return GetDlgCtrlID(child);
    }
  }
  return IDOK;
}

struct ButtonState : ControlState {
  WPARAM check = 0;
};

}  // namespace

LRESULT DialogClassProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = DialogProcOf(dialog);
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
  INT_PTR handled = proc ? proc(dialog, message, wParam, lParam) : 0;
  if (handled) {
    switch (message) {
      case WM_INITDIALOG:
      case WM_QUERYDRAGICON:
      case 0x0039:  // WM_COMPAREITEM
      case 0x002E:  // WM_VKEYTOITEM
      case 0x002F:  // WM_CHARTOITEM
        return handled;
    }
    if (message >= 0x0132 && message <= 0x0138) return handled;  // WM_CTLCOLOR...
    return IsWindow(dialog) ? GetWindowLongPtrW(dialog, DWLP_MSGRESULT) : 0;
  }
  if (!IsWindow(dialog)) return 0;
  switch (message) {
    case WM_CLOSE:
      // As Windows' default dialog procedure: closing is pressing Cancel.
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
      return 0;
    case WM_DPICHANGED: {
      // As Windows' dialog manager for a per-monitor aware dialog: the dialog takes the
      // suggested rectangle (the rescaling of its controls and fonts is not modelled).
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      if (suggested) {
        SetWindowPos(dialog, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    }
    case WM_INITDIALOG:
    case WM_COMMAND:
    case WM_TIMER:
    case WM_SHOWWINDOW:
    case WM_DESTROY:
    case WM_NCDESTROY:
      return 0;
  }
  return DefWindowProcW(dialog, message, wParam, lParam);
}

LRESULT ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case BM_CLICK:
      if (IsWindowEnabled(button)) {
        HWND parent = GetParent(button);
        if (parent) {
          SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        }
      }
      return 0;
    case BM_GETCHECK:
      return static_cast<LRESULT>(ControlOf<ButtonState>(button)->check);
    case BM_SETCHECK:
      ControlOf<ButtonState>(button)->check = wParam;
      return 0;
  }
  return DefWindowProcW(button, message, wParam, lParam);
}

}  // namespace win
}  // namespace host

using namespace host::win;

int WINAPI MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  long long product = static_cast<long long>(number) * numerator;
  long long half = (denominator < 0 ? -denominator : denominator) / 2;
  bool negative = (product < 0) != (denominator < 0);
  long long result = negative ? (product - half) / denominator : (product + half) / denominator;
  if (result > 0x7FFFFFFF || result < -0x7FFFFFFFLL - 1) return -1;
  return static_cast<int>(result);
}

INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                               LPARAM initParam) {
  HOST_ENTER("DialogBoxParamW", -1);
  Template t;
  if (!TemplateOfResource(instance, templateName, &t)) return -1;
  return ModalFromTemplate(t, instance, parent, dialogProc, initParam);
}

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND parent,
                                       DLGPROC dialogProc, LPARAM initParam) {
  HOST_ENTER("DialogBoxIndirectParamW", -1);
  Template t;
  if (!Parse(dialogTemplate, SIZE_MAX, &t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return ModalFromTemplate(t, instance, parent, dialogProc, initParam);
}

HWND WINAPI CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                               LPARAM initParam) {
  HOST_ENTER("CreateDialogParamW", nullptr);
  Template t;
  if (!TemplateOfResource(instance, templateName, &t)) return nullptr;
  return CreateFromTemplate(t, instance, parent, dialogProc, initParam);
}

HWND WINAPI CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND parent,
                                       DLGPROC dialogProc, LPARAM initParam) {
  HOST_ENTER("CreateDialogIndirectParamW", nullptr);
  Template t;
  if (!Parse(dialogTemplate, SIZE_MAX, &t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateFromTemplate(t, instance, parent, dialogProc, initParam);
}

// Marks the dialog ended with its result and hides it; the modal loop then destroys it. A dummy
// message wakes the loop when another thread ends the dialog.
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  HOST_ENTER("EndDialog", FALSE);
  if (!IsWindow(dialog)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!IsDialogWindow(dialog)) {
    SetLastError(ERROR_WINDOW_NOT_DIALOG);
    return FALSE;
  }
  SetDialogEnded(dialog, result);
  SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  PostMessageW(dialog, WM_NULL, 0, 0);
  return TRUE;
}

BOOL WINAPI IsDialogMessageW(HWND dialog, LPMSG msg) {
  if (!msg || !dialog || !msg->hwnd || !IsDialogMessageFor(dialog, msg->hwnd)) return FALSE;
  if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
    int id = msg->wParam == VK_ESCAPE ? IDCANCEL : DefaultButtonId(dialog);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return TRUE;
  }
  TranslateMessage(msg);
  DispatchMessageW(msg);
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  if (!IsWindow(dialog)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  for (HWND child : ChildrenOf(dialog)) {
    if (GetDlgCtrlID(child) == id) return child;
  }
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int WINAPI GetDlgCtrlID(HWND control) { return static_cast<int>(GetWindowLongPtrW(control, GWLP_ID)); }

BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowTextW(item, text) : FALSE;
}

UINT WINAPI GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) {
    if (text && maxCount > 0) text[0] = L'\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextW(item, text, maxCount));
}

LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SendMessageW(item, message, wParam, lParam) : 0;
}

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect) {
  if (!IsWindow(dialog)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!IsDialogWindow(dialog) || !rect) {
    SetLastError(ERROR_WINDOW_NOT_DIALOG);
    return FALSE;
  }
  int baseX, baseY;
  DialogBaseUnits(dialog, &baseX, &baseY);
  rect->left = MulDiv(rect->left, baseX, 4);
  rect->right = MulDiv(rect->right, baseX, 4);
  rect->top = MulDiv(rect->top, baseY, 8);
  rect->bottom = MulDiv(rect->bottom, baseY, 8);
  return TRUE;
}
