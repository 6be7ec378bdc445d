#include "registry/qv_policy_update_lock.h"

void (*qv_policy_lock_waiting)() = nullptr;
void (*qv_policy_token_applied)(const wchar_t*) = nullptr;

namespace {

// In the "Global\" namespace: the product's services and every user's session
// update the same registry.
constexpr const wchar_t* LOCK_NAME = L"{3B9E6C14-7D28-4A51-9F0B-C2E8154AD763}_QVP";

} // namespace

QV_policy_update_lock::QV_policy_update_lock(DWORD timeout_ms) : mutex_(LOCK_NAME, true, false)
{
    if (!mutex_.handle()) {
        error_ = GetLastError();
        if (error_ == ERROR_SUCCESS)
            error_ = ERROR_INVALID_HANDLE;
        return;
    }
    if (qv_policy_lock_waiting)
        qv_policy_lock_waiting();
    DWORD result = WaitForSingleObject(mutex_.handle(), timeout_ms);
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    if (!held_)
        error_ = result == WAIT_TIMEOUT ? WAIT_TIMEOUT : GetLastError();
}

QV_policy_update_lock::~QV_policy_update_lock()
{
    if (held_)
        mutex_.release();
}
