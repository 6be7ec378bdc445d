#pragma once
// Low memory on demand: while one of these lives, the strings' heap (the seam
// under every buffer of the strings and path lists) fails its n-th allocation
// from now on (0: the next one) by throwing std::bad_alloc, as operator new does.
// One at a time, on one thread.

#include "base/qv_string.h"

#include <new>

class QV_failing_heap {
public:
    explicit QV_failing_heap(int fail_at) : saved_(qv_string_heap)
    {
        left_ = fail_at;
        failed_ = false;
        qv_string_heap.allocate = allocate;
    }
    ~QV_failing_heap() { qv_string_heap = saved_; }
    QV_failing_heap(const QV_failing_heap&) = delete;
    QV_failing_heap& operator=(const QV_failing_heap&) = delete;

    // Whether the failing allocation came: false once n exceeds what the code asks for.
    bool failed() const { return failed_; }

private:
    static void* allocate(size_t bytes)
    {
        if (left_-- == 0) {
            failed_ = true;
            throw std::bad_alloc();
        }
        return ::operator new(bytes);
    }

    static inline int left_ = 0;
    static inline bool failed_ = false;
    QV_string_heap saved_;
};
