// Kernel services of the simulated host: last error, time, threads, synchronisation,
// debug output, system messages, local memory, code pages and module information.
#pragma once

#include "winhost/base.h"

extern "C++" {

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);

// Time runs on the host clock (see host/clock.h).
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetTickCount();
ULONGLONG WINAPI GetTickCount64();
void WINAPI GetLocalTime(LPSYSTEMTIME time);

DWORD WINAPI GetCurrentThreadId();
DWORD WINAPI GetCurrentProcessId();
// Pseudo-handles of the current process ((HANDLE)-1, the same value as INVALID_HANDLE_VALUE) and
// thread ((HANDLE)-2): closing one has no effect and succeeds; the process and the thread are
// never signalled while they wait on themselves.
HANDLE WINAPI GetCurrentProcess();
HANDLE WINAPI GetCurrentThread();

// Critical sections: the storage is inline, so initialising one allocates nothing.
typedef struct _RTL_CRITICAL_SECTION {
  alignas(16) unsigned char opaque[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);

// Kernel objects.
BOOL WINAPI CloseHandle(HANDLE handle);
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL WINAPI SetEvent(HANDLE event);
BOOL WINAPI ResetEvent(HANDLE event);
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCWSTR name);
BOOL WINAPI ReleaseMutex(HANDLE mutex);

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_FAILED 0xFFFFFFFFu
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Waits for the first of 1 to MAXIMUM_WAIT_OBJECTS objects (WAIT_OBJECT_0 + its index; the lowest
// index when several are signalled). The host does not wait for all of them at once: `waitAll`
// fails with ERROR_NOT_SUPPORTED.
#define MAXIMUM_WAIT_OBJECTS 64
DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Anonymous pipes: the read end reads what was written, then, once every write end is closed,
// fails with ERROR_BROKEN_PIPE; a write once the read end is closed fails with ERROR_NO_DATA.
// `size` (0: 4096 bytes) is what the pipe holds. A read of an empty pipe whose write end is open,
// or a write that does not fit, would block for good on Windows: the host ends the test at once
// with "synchronous read on pipe would block" (or write).
BOOL WINAPI CreatePipe(PHANDLE readPipe, PHANDLE writePipe, LPSECURITY_ATTRIBUTES sa, DWORD size);
// The host records no handle flags (no process inherits them here); HANDLE_FLAG_PROTECT_FROM_CLOSE
// fails with ERROR_NOT_SUPPORTED.
#define HANDLE_FLAG_INHERIT 0x00000001
#define HANDLE_FLAG_PROTECT_FROM_CLOSE 0x00000002
BOOL WINAPI SetHandleInformation(HANDLE object, DWORD mask, DWORD flags);

void WINAPI OutputDebugStringW(LPCWSTR text);

// Threads run as real threads. A thread's handle is signalled when the thread ends; a thread
// still running, or a thread handle still open, counts in the leak check.
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);
#define STILL_ACTIVE 259L
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                           DWORD creationFlags, LPDWORD threadId);
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

// The user-interface and default languages (all 0x0409 on a fresh machine, see host/windows.h).
LANGID WINAPI GetUserDefaultUILanguage();
LANGID WINAPI GetSystemDefaultUILanguage();
LANGID WINAPI GetUserDefaultLangID();
LANGID WINAPI GetSystemDefaultLangID();

// number * numerator / denominator, rounded, without overflow in between; -1 on overflow or a
// zero denominator.
int WINAPI MulDiv(int number, int numerator, int denominator);

// Power requests of the calling thread; returns the previous state, or 0 for invalid flags.
typedef DWORD EXECUTION_STATE;
#define ES_SYSTEM_REQUIRED 0x00000001
#define ES_DISPLAY_REQUIRED 0x00000002
#define ES_USER_PRESENT 0x00000004
#define ES_AWAYMODE_REQUIRED 0x00000040
#define ES_CONTINUOUS 0x80000000
EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE flags);

// System message texts.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF
#define ERROR_RESOURCE_LANG_NOT_FOUND 15100L
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                            DWORD size, void* arguments);

// Local memory.
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL WINAPI LocalFree(HLOCAL memory);

// Global memory: fixed blocks only (the handle is the block's address).
#define GMEM_FIXED 0x0000
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL WINAPI GlobalFree(HGLOBAL memory);

// Code pages. CP_ACP is Windows-1252 unless a test chooses otherwise.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define MB_PRECOMPOSED 0x00000001
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_INVALID_FLAGS 1004L
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount, LPWSTR wide,
                               int wideCount);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multiByte,
                               int multiByteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar);
UINT WINAPI GetACP();

// Module and path information.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
DWORD WINAPI GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart);
DWORD WINAPI GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer);

}  // extern "C++"
