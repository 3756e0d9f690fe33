#include <gtest/gtest.h>

#include <atomic>

#include "windows.h"

TEST(WinKernel, ManualResetEventStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ResetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(WinKernel, AutoResetEventReleasesOneWait) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(WinKernel, WaitTimesOutAfterAboutItsTime) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount() - start, 45u);
    CloseHandle(event);
}

namespace {
struct Shared {
    CRITICAL_SECTION lock;
    long counter = 0;
    HANDLE go;
};

DWORD WINAPI addMany(LPVOID parameter) {
    auto* shared = static_cast<Shared*>(parameter);
    WaitForSingleObject(shared->go, INFINITE);
    for (int i = 0; i < 10000; ++i) {
        EnterCriticalSection(&shared->lock);
        EnterCriticalSection(&shared->lock);  // recursive, as on Win32
        ++shared->counter;
        LeaveCriticalSection(&shared->lock);
        LeaveCriticalSection(&shared->lock);
    }
    return 0;
}
}  // namespace

TEST(WinKernel, ThreadsAndCriticalSectionsSerialiseAndCanBeWaitedFor) {
    Shared shared;
    InitializeCriticalSection(&shared.lock);
    shared.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[4];
    for (HANDLE& t : threads) t = CreateThread(nullptr, 0, addMany, &shared, 0, nullptr);
    SetEvent(shared.go);
    for (HANDLE t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
        CloseHandle(t);
    }
    EXPECT_EQ(shared.counter, 40000);
    CloseHandle(shared.go);
    DeleteCriticalSection(&shared.lock);
}
