#include "base/qv_mutex.h"
#include "base/qv_security.h"
#include "qv_child.h"
#include "qv_mutex_holder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

// A name no other test or run uses.
std::wstring unique_name(const wchar_t* tag)
{
    return std::wstring(L"qv_test_") + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_"
           + std::to_wstring(GetTickCount());
}

// Runs fn on its own thread and joins it: mutex ownership belongs to a thread.
template <typename Fn>
void on_other_thread(Fn fn)
{
    std::thread(fn).join();
}

TEST(QvObjectName, PrefixesByNamespace)
{
    EXPECT_STREQ(L"Local\\abc", qv_make_object_name(L"abc", false).c_str());
    EXPECT_STREQ(L"Global\\abc", qv_make_object_name(L"abc", true).c_str());
    EXPECT_TRUE(qv_make_object_name(nullptr, false).is_null());
    EXPECT_TRUE(qv_make_object_name(nullptr, true).is_null());
}

TEST(QvSecurityAttributes, NullDaclOpenToEveryone)
{
    SECURITY_ATTRIBUTES* attributes = qv_create_open_security_attributes();
    ASSERT_NE(nullptr, attributes);
    EXPECT_EQ(24u, attributes->nLength);
    EXPECT_TRUE(attributes->bInheritHandle);
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(nullptr, dacl);
    EXPECT_FALSE(defaulted);
    qv_free_security_attributes(attributes);
    qv_free_security_attributes(nullptr);
}

TEST(QvMutex, UnnamedMutexHasNoNameAndWorks)
{
    QV_mutex mutex(nullptr, false, false);
    ASSERT_NE(nullptr, mutex.handle());
    EXPECT_EQ(nullptr, mutex.name());
    bool timed_out = true;
    EXPECT_TRUE(mutex.wait(0, &timed_out));
    EXPECT_FALSE(timed_out);
    EXPECT_TRUE(mutex.release());
}

TEST(QvMutex, KeepsPrefixedName)
{
    std::wstring name = unique_name(L"named");
    QV_mutex mutex(name.c_str(), false, false);
    EXPECT_EQ(L"Local\\" + name, std::wstring(mutex.name()));
    HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, (L"Local\\" + name).c_str());
    EXPECT_NE(nullptr, opened);
    CloseHandle(opened);
}

TEST(QvMutex, SecondOwnerOnAnotherThreadBlocksUntilRelease)
{
    std::wstring name = unique_name(L"threads");
    HANDLE first = qv_create_mutex(name.c_str(), false, true);
    ASSERT_NE(nullptr, first);
    std::atomic<bool> second_owns{false};
    std::thread second([&] {
        HANDLE h = qv_create_mutex(name.c_str(), false, true);
        second_owns = true;
        ReleaseMutex(h);
        CloseHandle(h);
    });
    Sleep(300);
    EXPECT_FALSE(second_owns.load());
    ASSERT_TRUE(ReleaseMutex(first));
    second.join();
    EXPECT_TRUE(second_owns.load());
    CloseHandle(first);
}

TEST(QvMutex, WaitWithZeroTimeoutReportsTimeOut)
{
    std::wstring name = unique_name(L"timeout");
    QV_mutex mutex(name.c_str(), false, false);
    HANDLE held = nullptr;
    HANDLE release_it = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        held = qv_create_mutex(name.c_str(), false, true);
        SetEvent(holding);
        WaitForSingleObject(release_it, INFINITE);
        ReleaseMutex(held);
        CloseHandle(held);
    });
    WaitForSingleObject(holding, INFINITE);
    bool timed_out = false;
    EXPECT_FALSE(mutex.wait(0, &timed_out));
    EXPECT_TRUE(timed_out);
    EXPECT_FALSE(mutex.wait(0, nullptr));  // no flag to set: still false, no crash
    SetEvent(release_it);
    holder.join();
    timed_out = true;
    EXPECT_TRUE(mutex.wait(0, &timed_out));
    EXPECT_FALSE(timed_out);
    EXPECT_TRUE(mutex.release());
    CloseHandle(release_it);
    CloseHandle(holding);
}

TEST(QvMutex, SignalledSecondHandleGivesFalseWithoutFlag)
{
    std::wstring name = unique_name(L"second");
    QV_mutex mutex(name.c_str(), false, false);
    HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release_it = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        HANDLE h = qv_create_mutex(name.c_str(), false, true);
        SetEvent(holding);
        WaitForSingleObject(release_it, INFINITE);
        ReleaseMutex(h);
        CloseHandle(h);
    });
    WaitForSingleObject(holding, INFINITE);
    HANDLE signalled = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    bool timed_out = true;
    EXPECT_FALSE(mutex.wait(signalled, 5000, &timed_out));
    EXPECT_FALSE(timed_out);
    SetEvent(release_it);
    holder.join();
    CloseHandle(signalled);
    CloseHandle(holding);
    CloseHandle(release_it);
}

TEST(QvMutex, NullHandleWaitsNever)
{
    // A name in a namespace that does not exist makes creation fail.
    QV_mutex mutex(L"no\\such\\namespace", false, false);
    EXPECT_EQ(nullptr, mutex.handle());
    bool timed_out = true;
    EXPECT_FALSE(mutex.wait(0, &timed_out));
    EXPECT_FALSE(timed_out);
}

// A held mutex that goes gives its ownership back: closing the handle alone
// would leave it owned by this (living) thread, and every other waiter blocked.
TEST(QvHeldMutex, GivesOwnershipBackBeforeItGoes)
{
    std::wstring name = unique_name(L"held");
    QV_mutex keep_alive(name.c_str(), false, false);  // the object outlives the held one
    QV_held_mutex held(new QV_mutex(name.c_str(), false, true));
    QV_held_mutex moved(std::move(held));
    EXPECT_FALSE(held);
    bool taken_while_held = true, taken_after = false;
    on_other_thread([&] { taken_while_held = QV_mutex(name.c_str(), false, false).wait(0, nullptr); });
    moved.reset();
    on_other_thread([&] {
        QV_mutex other(name.c_str(), false, false);
        taken_after = other.wait(0, nullptr);
        if (taken_after)
            other.release();
    });
    EXPECT_FALSE(taken_while_held);
    EXPECT_TRUE(taken_after);
}

TEST(QvMutexProcesses, SecondProcessBlocksUntilRelease)
{
    std::wstring name = unique_name(L"proc");
    QV_mutex_holder holder(name, L"release");
    ASSERT_TRUE(holder.ready());
    QV_mutex mutex(name.c_str(), false, false);
    bool timed_out = false;
    EXPECT_FALSE(mutex.wait(0, &timed_out));
    EXPECT_TRUE(timed_out);

    std::atomic<bool> owned{false};
    std::thread waiter([&] {
        HANDLE h = qv_create_mutex(name.c_str(), false, true);
        owned = true;
        ReleaseMutex(h);
        CloseHandle(h);
    });
    Sleep(300);
    EXPECT_FALSE(owned.load());
    holder.finish();
    waiter.join();
    EXPECT_TRUE(owned.load());
}

TEST(QvMutexProcesses, AbandonedMutexIsReleasedBeforeFalse)
{
    std::wstring name = unique_name(L"abandon");
    QV_mutex_holder holder(name, L"abandon");
    ASSERT_TRUE(holder.ready());
    QV_mutex mutex(name.c_str(), false, false);
    holder.finish();  // ends owning the mutex
    bool timed_out = true;
    EXPECT_FALSE(mutex.wait(5000, &timed_out));
    EXPECT_FALSE(timed_out);
    // Released again: another thread gets it at once.
    bool other_got_it = false;
    on_other_thread([&] {
        HANDLE h = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, (L"Local\\" + name).c_str());
        other_got_it = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
        if (other_got_it)
            ReleaseMutex(h);
        CloseHandle(h);
    });
    EXPECT_TRUE(other_got_it);
}

TEST(QvMutexProcesses, CreateWithOwnershipTakesOverAbandonedMutex)
{
    std::wstring name = unique_name(L"takeover");
    QV_mutex_holder holder(name, L"abandon");
    ASSERT_TRUE(holder.ready());
    QV_mutex keep_alive(name.c_str(), false, false);  // the object outlives its dead owner
    holder.finish();
    HANDLE mine = qv_create_mutex(name.c_str(), false, true);
    ASSERT_NE(nullptr, mine);
    EXPECT_TRUE(ReleaseMutex(mine));  // succeeds only for the owner
    CloseHandle(mine);
}

} // namespace
