#include "base/qv_mutex.h"

#include "base/qv_os.h"
#include "base/qv_security.h"

HANDLE qv_create_mutex(const wchar_t* name, bool global, bool owned)
{
    QV_string full_name = qv_make_object_name(name, global);
    QV_unique<QV_security_attributes_traits> attributes(qv_create_open_security_attributes());
    HANDLE mutex = qv_create_mutex_object(attributes.get(), owned ? TRUE : FALSE,
                                          full_name.is_null() ? name : full_name.c_str());
    // Read at once: "already exists" means the initial ownership was not granted.
    DWORD error = GetLastError();
    if (owned && mutex && error == ERROR_ALREADY_EXISTS)
        WaitForSingleObject(mutex, INFINITE);  // abandoned counts as acquired
    return mutex;
}

// The name is made first: a mutex taken with ownership must never be closed
// still owned because its name could not be allocated afterwards.
QV_mutex::QV_mutex(const wchar_t* name, bool global, bool owned) : name_(qv_make_object_name(name, global))
{
    handle_.reset(qv_create_mutex(name, global, owned));
}

QV_mutex::~QV_mutex() = default;

bool QV_mutex::wait(HANDLE second, DWORD timeout_ms, bool* timed_out)
{
    if (timed_out)
        *timed_out = false;
    if (!handle_)
        return false;
    HANDLE handles[2] = {handle_.get(), second};
    DWORD count = second ? 2 : 1;
    DWORD result = WaitForMultipleObjects(count, handles, FALSE, timeout_ms);
    if (result == WAIT_OBJECT_0)
        return true;
    if (result == WAIT_TIMEOUT && timed_out)
        *timed_out = true;
    if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count)
        ReleaseMutex(handles[result - WAIT_ABANDONED_0]);
    return false;
}

bool QV_mutex::wait(DWORD timeout_ms, bool* timed_out)
{
    return wait(nullptr, timeout_ms, timed_out);
}

BOOL QV_mutex::release()
{
    return ReleaseMutex(handle_.get());
}

HANDLE QV_mutex::handle() const
{
    return handle_.get();
}

const wchar_t* QV_mutex::name() const
{
    return name_.c_str();
}
