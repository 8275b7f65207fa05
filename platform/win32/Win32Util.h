#pragma once
// Small helpers of the Windows layer: UTF-8 and UTF-16 texts, COM pointers and apartments. Owned
// handles are in platform/win32/Handles.h.
#include <windows.h>

#include <ole2.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace tallyhive::win32 {

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD, as the platform converts them.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The code page the command interpreter reads piped input in: the console's input code page, or
// the OEM code page a new console starts with when this process has none yet.
UINT ConsoleInputCodePage();
// `text` in `codePage`; false when a character has no exact counterpart there (no best fit).
bool EncodeExactly(std::wstring_view text, UINT codePage, std::string& bytes);

// The address of page `number` among the resources of the module at `modulePath`, for the
// browser's res: protocol ("res Protocol"): the module path percent-encoded, spaces, '#', '%' and
// characters beyond ASCII (as UTF-8) included, so that nothing in the path reads as a fragment or an
// escape.
std::string ResourcePageAddress(std::string_view modulePath, int number);
// True when `url`, as the browser reports it after a navigation (in its own qualified, encoded
// form), is page `number` of the module at `modulePath`: the module path is decoded and compared
// without regard to letter case, as the file system names files.
bool IsResourcePageAddress(std::string_view url, std::string_view modulePath, int number);

// Seconds since 1970 of a file time (100-ns units since 1601) and back.
std::int64_t UnixSeconds(const FILETIME& time);
FILETIME FileTimeOf(std::int64_t unixSeconds);

// A COM interface pointer with one reference of its own.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_ptr = std::exchange(other.m_ptr, nullptr);
        }
        return *this;
    }
    ~ComPtr() { Reset(); }
    T* Get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    // For out-parameters: releases what is held first.
    T** Put() {
        Reset();
        return &m_ptr;
    }
    void Reset() {
        if (m_ptr) m_ptr->Release();
        m_ptr = nullptr;
    }

private:
    T* m_ptr = nullptr;
};

// A BSTR with one owner.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(std::wstring_view text)
        : m_bstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { ::SysFreeString(m_bstr); }
    BSTR Get() const { return m_bstr; }
    BSTR* Put() {
        ::SysFreeString(m_bstr);
        m_bstr = nullptr;
        return &m_bstr;
    }
    std::wstring_view View() const {
        return m_bstr ? std::wstring_view(m_bstr, ::SysStringLen(m_bstr)) : std::wstring_view();
    }

private:
    BSTR m_bstr = nullptr;
};

// The component system for the calling thread, for the life of the object.
class ComApartment {
public:
    ComApartment() : m_result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(m_result)) ::CoUninitialize();
    }
    // A thread already initialised in another model can still use the components.
    bool Usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

private:
    HRESULT m_result;
};

// OLE for the calling thread (the component system and what embedding a control needs besides:
// drag and drop, the clipboard, in-place activation), for the life of the object.
class OleApartment {
public:
    OleApartment() : m_result(::OleInitialize(nullptr)) {}
    OleApartment(const OleApartment&) = delete;
    OleApartment& operator=(const OleApartment&) = delete;
    ~OleApartment() {
        // Every successful start, a repeated one (S_FALSE) too, is matched by one end.
        if (SUCCEEDED(m_result)) ::OleUninitialize();
    }
    bool Usable() const { return SUCCEEDED(m_result); }
    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

}  // namespace tallyhive::win32
