// Win32 kernel subset: threads, events, critical sections, time.
// Handles returned here are closed with CloseHandle.
#pragma once

#include "win_base.h"

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

// A recursive lock, as on Win32. The storage is ours; callers treat it as opaque.
struct CRITICAL_SECTION {
    void* impl;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Waits for an event to be signalled or a thread to end.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// The thread runs detached from its handle: closing the handle does not end it.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId);
DWORD GetCurrentThreadId();

BOOL CloseHandle(HANDLE handle);

void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start, wrapping at 2^32 like Win32's.
DWORD GetTickCount();
