// Win32 kernel objects over the C++ standard library.
#include "windows.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct KernelObject {
    virtual ~KernelObject() = default;
    virtual DWORD wait(DWORD milliseconds) = 0;
};

// Signalled state with manual or automatic reset; also the "thread ended"
// state of a thread handle.
class Signal {
public:
    explicit Signal(bool manualReset, bool initial) : manual_(manualReset), set_(initial) {}

    void set() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            set_ = true;
        }
        changed_.notify_all();
    }
    void reset() {
        std::lock_guard<std::mutex> guard(mutex_);
        set_ = false;
    }
    DWORD wait(DWORD milliseconds) {
        std::unique_lock<std::mutex> lock(mutex_);
        auto isSet = [this] { return set_; };
        if (milliseconds == INFINITE) {
            changed_.wait(lock, isSet);
        } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), isSet)) {
            return WAIT_TIMEOUT;
        }
        if (!manual_) set_ = false;
        return WAIT_OBJECT_0;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const bool manual_;
    bool set_;
};

struct EventObject : KernelObject {
    EventObject(bool manualReset, bool initial) : signal(manualReset, initial) {}
    DWORD wait(DWORD milliseconds) override { return signal.wait(milliseconds); }
    Signal signal;
};

struct ThreadObject : KernelObject {
    std::shared_ptr<Signal> finished = std::make_shared<Signal>(true, false);
    DWORD wait(DWORD milliseconds) override { return finished->wait(milliseconds); }
};

KernelObject* asObject(HANDLE handle) { return static_cast<KernelObject*>(handle); }

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    section->impl = new std::recursive_mutex;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    delete static_cast<std::recursive_mutex*>(section->impl);
    section->impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    static_cast<std::recursive_mutex*>(section->impl)->lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    static_cast<std::recursive_mutex*>(section->impl)->unlock();
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    return static_cast<KernelObject*>(new EventObject(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
    auto* object = dynamic_cast<EventObject*>(asObject(event));
    if (!object) return FALSE;
    object->signal.set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    auto* object = dynamic_cast<EventObject*>(asObject(event));
    if (!object) return FALSE;
    object->signal.reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (!handle) return WAIT_FAILED;
    return asObject(handle)->wait(milliseconds);
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD, LPDWORD threadId) {
    auto* object = new ThreadObject;
    std::shared_ptr<Signal> finished = object->finished;
    try {
        std::thread([start, parameter, finished] {
            start(parameter);
            finished->set();
        }).detach();
    } catch (const std::system_error&) {
        delete object;
        return nullptr;
    }
    if (threadId) *threadId = 0;
    return static_cast<KernelObject*>(object);
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
}

BOOL CloseHandle(HANDLE handle) {
    if (!handle) return FALSE;
    delete asObject(handle);
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
