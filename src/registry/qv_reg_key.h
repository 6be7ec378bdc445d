#pragma once
// Owner of an open registry key: closes it on every path. Movable, not copyable.
// Predefined roots (HKEY_LOCAL_MACHINE and the like) are never held by an owner.

#include <windows.h>

class QV_reg_key {
public:
    QV_reg_key() = default;
    explicit QV_reg_key(HKEY key) : key_(key) {}
    ~QV_reg_key() { reset(); }

    QV_reg_key(const QV_reg_key&) = delete;
    QV_reg_key& operator=(const QV_reg_key&) = delete;
    QV_reg_key(QV_reg_key&& other) noexcept : key_(other.release()) {}
    QV_reg_key& operator=(QV_reg_key&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

    // Gives up ownership without closing.
    HKEY release()
    {
        HKEY key = key_;
        key_ = nullptr;
        return key;
    }

    void reset(HKEY key = nullptr)
    {
        if (key_)
            RegCloseKey(key_);
        key_ = key;
    }

    // For the out-parameter of RegCreateKeyExW and the like: closes what was held first,
    // so reusing an owner never leaks.
    HKEY* put()
    {
        reset();
        return &key_;
    }

private:
    HKEY key_ = nullptr;
};
