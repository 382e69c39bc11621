// Microsoft C runtime functions that the program uses and the host's C library lacks.
#pragma once

#include <cstdio>

#include "winhost/base.h"

// Opens a Windows path; text mode (no 'b' in mode) writes "\n" as "\r\n" and reads it back as "\n".
FILE* _wfopen(const wchar_t* fileName, const wchar_t* mode);

// Threads of the C runtime: the same threads as CreateThread's; the value is the thread handle.
#ifndef __stdcall
#define __stdcall
#endif
uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned(__stdcall* start)(void*), void* argument,
                         unsigned initFlag, unsigned* threadId);
void _endthreadex(unsigned exitCode);

int _wcsicmp(const wchar_t* a, const wchar_t* b);
