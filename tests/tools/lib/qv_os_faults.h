#pragma once
// Faults on demand in the layer under every file and registry change: while one
// of these lives, the layer's calls are counted from 1, and call number k can
// fail with a chosen Win32 error without running, or end the process right after
// it ran, as a kill would (the system then closes the handles, as after a kill).
// k = 0 only counts. One at a time, on one thread.

#include "base/qv_os.h"

#include <windows.h>

#include <vector>

class QV_os_faults {
public:
    enum class Mode { count, fail, end };

    QV_os_faults(Mode mode = Mode::count, unsigned at = 0, DWORD error = ERROR_DISK_FULL) : saved_(qv_os_probe)
    {
        mode_ = mode;
        at_ = at;
        error_ = error;
        calls_ = 0;
        hit_ = QV_os_call::count;
        seen_.clear();
        qv_os_probe = &probe_;
    }
    ~QV_os_faults() { qv_os_probe = saved_; }
    QV_os_faults(const QV_os_faults&) = delete;
    QV_os_faults& operator=(const QV_os_faults&) = delete;

    // Calls made so far (the failed one included).
    unsigned calls() const { return calls_; }
    // The call that failed, or count when none did.
    QV_os_call hit() const { return hit_; }
    // Every call asked for so far, in order: call k is seen()[k - 1].
    const std::vector<QV_os_call>& seen() const { return seen_; }

    // The exit code of a process ended after its call k.
    static constexpr UINT END_EXIT_CODE = 0x6B1;

private:
    static DWORD before(QV_os_call call)
    {
        seen_.push_back(call);
        if (++calls_ != at_ || mode_ != Mode::fail)
            return 0;
        hit_ = call;
        return error_;
    }
    static void after(QV_os_call)
    {
        if (mode_ == Mode::end && calls_ == at_)
            TerminateProcess(GetCurrentProcess(), END_EXIT_CODE);
    }

    static inline Mode mode_ = Mode::count;
    static inline unsigned at_ = 0;
    static inline DWORD error_ = 0;
    static inline unsigned calls_ = 0;
    static inline QV_os_call hit_ = QV_os_call::count;
    static inline std::vector<QV_os_call> seen_;
    static inline const QV_os_probe probe_{before, after};
    const QV_os_probe* saved_;
};
