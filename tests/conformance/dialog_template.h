// An in-memory extended dialog template (DLGTEMPLATEEX) with "MS Shell Dlg" 8 and its items, for
// DialogBoxIndirectParamW and CreateDialogIndirectParamW. Texts are ASCII; the template is held as
// 16-bit words, as the resource format stores it on every platform.
#pragma once

#include <vector>

#include "platform/win32.h"

namespace conformance {

class DialogTemplate {
 public:
  // The class ordinals of the predefined controls.
  static constexpr WORD kButton = 0x0080;
  static constexpr WORD kStatic = 0x0082;

  DialogTemplate(DWORD style, short cx, short cy, const char* title) {
    Words({1, 0xFFFF});  // version, signature
    Dword(0);            // help identifier
    Dword(0);            // extended style
    Dword(style | DS_SETFONT);
    Words({0, 10, 10, static_cast<WORD>(cx), static_cast<WORD>(cy)});  // item count, x, y, cx, cy
    Words({0, 0});                                                      // no menu, the dialog class
    Text(title);
    Words({8, 400, 0x0100});  // point size, weight, italic 0 and character set 1
    Text("MS Shell Dlg");
  }

  void Add(DWORD style, short x, short y, short cx, short cy, DWORD id, WORD classOrdinal, const char* text) {
    StartItem(style, x, y, cx, cy, id);
    Words({0xFFFF, classOrdinal});
    Text(text);
    Words({0});
  }
  void Add(DWORD style, short x, short y, short cx, short cy, DWORD id, const char* className, const char* text) {
    StartItem(style, x, y, cx, cy, id);
    Text(className);
    Text(text);
    Words({0});
  }

  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Words(std::initializer_list<WORD> words) { words_.insert(words_.end(), words); }
  void Dword(DWORD value) { Words({LOWORD(value), HIWORD(value)}); }
  void Text(const char* text) {
    for (; *text; ++text) words_.push_back(static_cast<WORD>(static_cast<unsigned char>(*text)));
    words_.push_back(0);
  }
  void StartItem(DWORD style, short x, short y, short cx, short cy, DWORD id) {
    if (words_.size() % 2) words_.push_back(0);  // items start on a 32-bit boundary
    ++words_[8];                                 // the item count
    Dword(0);                                    // help identifier
    Dword(0);                                    // extended style
    Dword(style);
    Words({static_cast<WORD>(x), static_cast<WORD>(y), static_cast<WORD>(cx), static_cast<WORD>(cy)});
    Dword(id);
  }

  std::vector<WORD> words_;
};

}  // namespace conformance
