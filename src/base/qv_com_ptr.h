#pragma once
// A counted COM interface pointer: a copy adds a reference, reset and the
// destructor give one back, so no return path has to Release by hand.

#include <utility>

template <typename T>
class QV_com_ptr {
public:
    QV_com_ptr() = default;
    // Takes over a reference the caller already holds.
    explicit QV_com_ptr(T* adopted) : p_(adopted) {}
    QV_com_ptr(const QV_com_ptr& other) : p_(other.p_)
    {
        if (p_)
            p_->AddRef();
    }
    QV_com_ptr(QV_com_ptr&& other) noexcept : p_(other.detach()) {}
    QV_com_ptr& operator=(QV_com_ptr other) noexcept
    {
        std::swap(p_, other.p_);
        return *this;
    }
    ~QV_com_ptr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void reset()
    {
        if (T* old = std::exchange(p_, nullptr))
            old->Release();
    }
    // For out-parameters: gives back what is held first, so reuse never leaks.
    T** put()
    {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};
