// Microsoft C runtime functions that the program uses and the host's C library lacks.
#pragma once

#include <cstdio>

#include "winhost/base.h"

// Opens a Windows path; text mode (no 'b' in mode) writes "\n" as "\r\n" and reads it back as "\n".
FILE* _wfopen(const wchar_t* fileName, const wchar_t* mode);

int _wcsicmp(const wchar_t* a, const wchar_t* b);
