// Microsoft C runtime functions missing from the host's C library.
#include "winhost/crt.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <string>

#include "internal.h"

namespace host {
std::string HostPathForOpen(const wchar_t* name);
}

namespace {

// Text mode as the Microsoft C runtime does it: "\n" is written as "\r\n", and "\r\n" is
// read back as "\n".
struct TextStream {
  FILE* inner;
};

ssize_t TextWrite(void* cookie, const char* data, size_t size) {
  FILE* inner = static_cast<TextStream*>(cookie)->inner;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && std::fputc('\r', inner) == EOF) return -1;
    if (std::fputc(data[i], inner) == EOF) return -1;
  }
  return static_cast<ssize_t>(size);
}

ssize_t TextRead(void* cookie, char* data, size_t size) {
  FILE* inner = static_cast<TextStream*>(cookie)->inner;
  size_t n = 0;
  while (n < size) {
    int c = std::fgetc(inner);
    if (c == EOF) break;
    if (c == '\r') {
      int next = std::fgetc(inner);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, inner);
      }
    }
    data[n++] = static_cast<char>(c);
  }
  return static_cast<ssize_t>(n);
}

int TextClose(void* cookie) {
  auto* stream = static_cast<TextStream*>(cookie);
  int result = std::fclose(stream->inner);
  delete stream;
  return result;
}

}  // namespace

FILE* _wfopen(const wchar_t* fileName, const wchar_t* mode) {
  if (!fileName || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  std::string path = host::HostPathForOpen(fileName);
  if (path.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  std::string hostMode;
  bool binary = false;
  for (const wchar_t* m = mode; *m; ++m) {
    if (*m == L'b') {
      binary = true;
    } else if (*m == L'r' || *m == L'w' || *m == L'a' || *m == L'+') {
      hostMode.push_back(static_cast<char>(*m));
    } else if (*m != L't') {
      errno = EINVAL;
      return nullptr;
    }
  }
  FILE* inner = std::fopen(path.c_str(), hostMode.c_str());
  if (!inner || binary) return inner;
  cookie_io_functions_t functions{TextRead, TextWrite, nullptr, TextClose};
  FILE* text = fopencookie(new TextStream{inner}, hostMode.c_str(), functions);
  if (!text) std::fclose(inner);
  return text;
}

int _wcsicmp(const wchar_t* a, const wchar_t* b) {
  for (size_t i = 0;; ++i) {
    wint_t ca = std::towlower(static_cast<wint_t>(a[i]));
    wint_t cb = std::towlower(static_cast<wint_t>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}
