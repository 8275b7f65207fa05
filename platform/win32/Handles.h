#pragma once
// Owners of the system's handles. Each kind has its own invalid value and its own way to be given
// back, so the owner's type carries both and no caller has to remember either.
#include <windows.h>

#include <utility>

namespace tallyhive::win32 {

// One owner of one handle; Traits gives the handle type, its invalid value and how it is closed.
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type handle) noexcept : m_handle(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, Traits::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_handle, Traits::Invalid()));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    Type Get() const noexcept { return m_handle; }
    bool Valid() const noexcept { return m_handle != Traits::Invalid(); }
    explicit operator bool() const noexcept { return Valid(); }
    // Closes what is held and takes `handle` instead.
    void Reset(Type handle = Traits::Invalid()) noexcept {
        if (Valid()) Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Type m_handle = Traits::Invalid();
};

// Processes, threads, pipes, events: null when there is none.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { ::CloseHandle(handle); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

// What CreateFileW opens: it reports failure as INVALID_HANDLE_VALUE, never as null.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { ::CloseHandle(handle); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// A directory search from FindFirstFileW: failure is INVALID_HANDLE_VALUE, and only FindClose ends it.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { ::FindClose(handle); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// A loaded module: null when loading failed, given back with FreeLibrary.
struct ModuleHandleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type module) noexcept { ::FreeLibrary(module); }
};
using ModuleHandle = UniqueHandle<ModuleHandleTraits>;

// An icon loaded from resources without LR_SHARED: this program gives it back with DestroyIcon.
struct IconHandleTraits {
    using Type = HICON;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type icon) noexcept { ::DestroyIcon(icon); }
};
using IconHandle = UniqueHandle<IconHandleTraits>;

// A mutex this thread owns: given up before its handle is closed, so a waiting process gets it at
// once rather than as abandoned.
struct OwnedMutexTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept {
        ::ReleaseMutex(handle);
        ::CloseHandle(handle);
    }
};
using OwnedMutex = UniqueHandle<OwnedMutexTraits>;

}  // namespace tallyhive::win32
