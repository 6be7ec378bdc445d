#pragma once
// One owner type for every kind of handle the program opens: movable, not
// copyable, closed in its destructor so that every return path releases it.

#include <windows.h>
#include <oleauto.h>

#include <cstdlib>
#include <type_traits>
#include <utility>

template <typename Traits>
class QV_unique {
public:
    using type = typename Traits::type;

    QV_unique() = default;
    explicit QV_unique(type value) : value_(value) {}
    QV_unique(QV_unique&& other) noexcept : value_(other.release()) {}
    QV_unique& operator=(QV_unique&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    QV_unique(const QV_unique&) = delete;
    QV_unique& operator=(const QV_unique&) = delete;
    ~QV_unique() { reset(); }

    type get() const { return value_; }
    // For owners of the program's own objects (a document, a cabinet writer).
    type operator->() const
        requires std::is_class_v<std::remove_pointer_t<type>>
    {
        return value_;
    }
    bool valid() const { return value_ != Traits::invalid(); }
    explicit operator bool() const { return valid(); }

    // Gives up ownership without closing.
    type release() { return std::exchange(value_, Traits::invalid()); }

    void reset(type value = Traits::invalid())
    {
        type old = std::exchange(value_, value);
        if (old != Traits::invalid())
            Traits::close(old);
    }

    // For out-parameters: closes what is held first, so reuse never leaks.
    type* put()
    {
        reset();
        return &value_;
    }

private:
    type value_ = Traits::invalid();
};

struct QV_handle_traits {
    using type = HANDLE;
    static type invalid() { return nullptr; }
    static void close(type h) { CloseHandle(h); }
};

struct QV_file_traits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { CloseHandle(h); }
};

struct QV_reg_key_traits {
    using type = HKEY;
    static type invalid() { return nullptr; }
    static void close(type h) { RegCloseKey(h); }
};

struct QV_local_traits {
    using type = HLOCAL;
    static type invalid() { return nullptr; }
    static void close(type h) { LocalFree(h); }
};

struct QV_sid_traits {
    using type = PSID;
    static type invalid() { return nullptr; }
    static void close(type h) { FreeSid(h); }
};

struct QV_global_traits {
    using type = HGLOBAL;
    static type invalid() { return nullptr; }
    static void close(type h) { GlobalFree(h); }
};

struct QV_malloc_traits {
    using type = void*;
    static type invalid() { return nullptr; }
    static void close(type h) { std::free(h); }
};

struct QV_bstr_traits {
    using type = BSTR;
    static type invalid() { return nullptr; }
    static void close(type h) { SysFreeString(h); }
};

struct QV_find_traits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { FindClose(h); }
};

using QV_handle = QV_unique<QV_handle_traits>;      // null when not open
using QV_file = QV_unique<QV_file_traits>;          // INVALID_HANDLE_VALUE when not open
using QV_reg_key = QV_unique<QV_reg_key_traits>;
using QV_local = QV_unique<QV_local_traits>;        // LocalAlloc / FormatMessage buffers
using QV_allocated_sid = QV_unique<QV_sid_traits>;  // from AllocateAndInitializeSid
using QV_global = QV_unique<QV_global_traits>;      // GlobalAlloc blocks not yet handed on
using QV_malloc_block = QV_unique<QV_malloc_traits>;  // malloc family
using QV_bstr = QV_unique<QV_bstr_traits>;
using QV_find = QV_unique<QV_find_traits>;          // FindFirstFileW searches

// Holds one reference to a COM interface: AddRef on copy, Release on reset and in
// the destructor, so no return path gives a reference back by hand.
template <typename Interface>
class QV_com_ptr {
public:
    QV_com_ptr() = default;
    // Takes over a reference the caller already holds.
    explicit QV_com_ptr(Interface* adopted) : pointer_(adopted) {}
    QV_com_ptr(const QV_com_ptr& other) : pointer_(other.pointer_)
    {
        if (pointer_)
            pointer_->AddRef();
    }
    QV_com_ptr(QV_com_ptr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    QV_com_ptr& operator=(QV_com_ptr other) noexcept
    {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~QV_com_ptr() { reset(); }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    void reset()
    {
        if (Interface* old = std::exchange(pointer_, nullptr))
            old->Release();
    }

    // Takes over the one reference the caller holds (a new object's count of 1).
    void attach(Interface* adopted)
    {
        reset();
        pointer_ = adopted;
    }

    // Takes a reference of its own to a pointer the caller only borrows (an
    // argument). The new reference is taken before the old one goes, so copying
    // the pointer already held is safe.
    void copy_from(Interface* borrowed)
    {
        if (borrowed)
            borrowed->AddRef();
        reset();
        pointer_ = borrowed;
    }

    // Gives the held reference to the caller, who must give it back.
    Interface* detach() { return std::exchange(pointer_, nullptr); }

    // For out-parameters: releases what is held first, so reuse never leaks.
    Interface** put()
    {
        reset();
        return &pointer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    Interface* pointer_ = nullptr;
};
