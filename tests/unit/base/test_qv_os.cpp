// The layer under every file and registry change, with a test's probe: calls are
// counted, a chosen call fails as the system would fail it, and results and last
// errors of the calls that ran come through the probe untouched.

#include "base/qv_os.h"
#include "qv_os_faults.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <string>
#include <sys/stat.h>

namespace {

class QvOs : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"qv_os_" + std::to_wstring(GetCurrentProcessId()) + L".bin";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    HANDLE create() const
    {
        return qv_create_file(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    }

    std::wstring path_;
};

TEST_F(QvOs, CountsEveryCallAndLeavesResultsAsTheSystemGaveThem)
{
    QV_os_faults faults;
    HANDLE file = create();
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(qv_write_file(file, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    CloseHandle(file);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(qv_delete_file((path_ + L".missing").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(faults.calls(), 3u);
    EXPECT_EQ(faults.hit(), QV_os_call::count);
}

// Each failure shape: handle, BOOL with last error, registry result, descriptor.
TEST_F(QvOs, TheChosenCallFailsWithTheChosenErrorWithoutRunning)
{
    struct Case {
        unsigned at;
        DWORD error;
        QV_os_call call;
    };
    const Case cases[] = {
        {1, ERROR_ACCESS_DENIED, QV_os_call::create_file},
        {2, ERROR_DISK_FULL, QV_os_call::write_file},
        {3, ERROR_SHARING_VIOLATION, QV_os_call::delete_file},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qv_os_call_name(c.call));
        DeleteFileW(path_.c_str());
        QV_os_faults faults(QV_os_faults::Mode::fail, c.at, c.error);
        SetLastError(0);
        HANDLE file = create();
        if (c.at == 1) {
            EXPECT_EQ(file, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), c.error);
            EXPECT_EQ(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES);  // never ran
        } else {
            DWORD written = 0xdeadbeef;
            BOOL wrote = qv_write_file(file, "abc", 3, &written, nullptr);
            EXPECT_EQ(wrote, c.at != 2);
            if (c.at == 2) {
                EXPECT_EQ(GetLastError(), c.error);
            }
            CloseHandle(file);
            BOOL deleted = qv_delete_file(path_.c_str());
            EXPECT_EQ(deleted, c.at != 3);
            if (c.at == 3) {
                EXPECT_EQ(GetLastError(), c.error);
                EXPECT_NE(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES);
            }
        }
        EXPECT_EQ(faults.hit(), c.call);
    }
}

TEST_F(QvOs, RegistryAndDescriptorCallsFailInTheirOwnShape)
{
    {
        QV_os_faults faults(QV_os_faults::Mode::fail, 1, ERROR_ACCESS_DENIED);
        HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xdeadbeef));
        EXPECT_EQ(qv_reg_create_key(HKEY_CURRENT_USER, L"Software\\QvOsTest", 0, nullptr, 0, KEY_WRITE, nullptr,
                                    &key, nullptr),
                  ERROR_ACCESS_DENIED);
        EXPECT_EQ(faults.hit(), QV_os_call::reg_create_key);
    }
    QV_os_faults faults(QV_os_faults::Mode::fail, 2, ERROR_DISK_FULL);
    int descriptor = qv_fd_open(std::string(path_.begin(), path_.end()).c_str(),
                                _O_CREAT | _O_RDWR | _O_BINARY, _SH_DENYWR, _S_IREAD | _S_IWRITE);
    ASSERT_GE(descriptor, 0);
    errno = 0;
    EXPECT_EQ(qv_fd_write(descriptor, "abc", 3), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(faults.hit(), QV_os_call::fd_write);
    _close(descriptor);
}

// One name inside the held folder: created only when asked and absent, found by
// the same name, never reached through a second component.
TEST_F(QvOs, RelativeOpenResolvesOneNameInsideTheHeldFolder)
{
    std::wstring folder_path = path_.substr(0, path_.rfind(L'\\'));
    std::wstring name = path_.substr(path_.rfind(L'\\') + 1);
    HANDLE folder = CreateFileW(folder_path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    const ACCESS_MASK access = GENERIC_READ | GENERIC_WRITE;
    bool created = false;
    HANDLE file = qv_open_relative(folder, name.c_str(), name.size(), access, 0, FILE_CREATE, 0, &created);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(created);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));  // synchronous, as from CreateFileW
    CloseHandle(file);
    created = true;
    SetLastError(0);
    EXPECT_EQ(qv_open_relative(folder, name.c_str(), name.size(), access, 0, FILE_CREATE, 0, &created),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));  // the status's own error, not CreateFileW's 80
    EXPECT_FALSE(created);
    file = qv_open_relative(folder, name.c_str(), name.size(), access, 0, FILE_OPEN, 0, &created);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(created);
    CloseHandle(file);
    CloseHandle(folder);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 3u);
}

} // namespace
