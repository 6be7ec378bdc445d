#pragma once
// Named mutexes in the "Global\" or "Local\" namespace that any process of any
// user can open: the trace file lock and the core's per-user mutexes.

#include "base/qv_string.h"
#include "base/qv_unique.h"

#include <windows.h>

// Creates or opens the mutex "Global\name" / "Local\name" (a null name makes an
// unnamed one). With `owned`, returns only once the calling thread owns it: a
// mutex that already existed is waited for without a time limit, and one left
// abandoned by a dead owner is taken over. Gives null when creation failed; the
// caller releases and closes the handle.
HANDLE qv_create_mutex(const wchar_t* name, bool global, bool owned);

class QV_mutex : private QV_types {
public:
    // Same creation as qv_create_mutex; failure leaves handle() null and every
    // wait answers false.
    QV_mutex(const wchar_t* name, bool global, bool owned);
    // Closes the handle without releasing ownership: a mutex still owned stays
    // owned until the owning thread ends.
    virtual ~QV_mutex();

    QV_mutex(const QV_mutex&) = delete;
    QV_mutex& operator=(const QV_mutex&) = delete;

    // Waits for this mutex, or for `second` when not null, whichever comes first.
    // True only when this mutex was acquired; *timed_out (when given) is set only
    // when the time ran out. An abandoned mutex is released again before the
    // false answer, so no dead owner's mutex stays held by this process.
    virtual bool wait(HANDLE second, DWORD timeout_ms, bool* timed_out);
    virtual bool wait(DWORD timeout_ms, bool* timed_out);
    virtual BOOL release();
    virtual HANDLE handle() const;
    // The prefixed name; null for an unnamed mutex.
    virtual const wchar_t* name() const;

private:
    QV_handle handle_;
    QV_string name_;
};

// A mutex on the heap held across calls: on reset and in the destructor its
// ownership is given back first, then it is destroyed (handle closed). Releasing
// a mutex this thread does not own does nothing.
struct QV_held_mutex_traits {
    using type = QV_mutex*;
    static type invalid() { return nullptr; }
    static void close(type mutex)
    {
        mutex->release();
        delete mutex;
    }
};
using QV_held_mutex = QV_unique<QV_held_mutex_traits>;
