#pragma once
// The lock that makes policy updates run one at a time on the machine: held from
// the read of the cached policy text to its write, so that the cached text always
// names the values in force.

#include "base/qv_mutex.h"

#include <windows.h>

// Test seams, null in the product: called right before an update waits for the
// lock, and by update_values after each token that named a row, with its code.
extern void (*qv_policy_lock_waiting)();
extern void (*qv_policy_token_applied)(const wchar_t* code);

class QV_policy_update_lock {
public:
    // How long an update waits for the one before it.
    static constexpr DWORD TIMEOUT_MS = 60 * 1000;

    // Waits up to timeout_ms. A lock left by an update that was ended is taken over:
    // such an update leaves nothing half done that the next one must not see.
    explicit QV_policy_update_lock(DWORD timeout_ms = TIMEOUT_MS);
    // Gives the lock back when it is held.
    ~QV_policy_update_lock();
    QV_policy_update_lock(const QV_policy_update_lock&) = delete;
    QV_policy_update_lock& operator=(const QV_policy_update_lock&) = delete;

    bool held() const { return held_; }
    // Why it is not held: the creation's error, or WAIT_TIMEOUT; 0 when held.
    DWORD error() const { return error_; }

private:
    QV_mutex mutex_;
    bool held_ = false;
    DWORD error_ = ERROR_SUCCESS;
};
