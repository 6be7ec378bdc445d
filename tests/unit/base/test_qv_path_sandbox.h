#pragma once
// A private folder under the temporary directory for the path tests, emptied
// before each test and removed after it.

#include "base/qv_path.h"
#include "qv_test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

class QvPathSandbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(0u, GetTempPathW(MAX_PATH + 1, temp));
        root_ = std::wstring(temp) + L"qv_path_test_" + std::to_wstring(GetCurrentProcessId());
        qv_remove_tree(root_);
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    }

    void TearDown() override { qv_remove_tree(root_); }

    std::wstring at(const std::wstring& relative) const { return root_ + L"\\" + relative; }

    void make_file(const std::wstring& relative) const
    {
        HANDLE file = CreateFileW(at(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << "cannot create " << testing::PrintToString(relative);
        CloseHandle(file);
    }

    bool is_directory(const std::wstring& relative) const
    {
        DWORD attributes = GetFileAttributesW(at(relative).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::wstring root_;
};

// Runs the current folder elsewhere for one scope.
class QvCurrentFolder {
public:
    explicit QvCurrentFolder(const std::wstring& folder)
    {
        GetCurrentDirectoryW(MAX_PATH, saved_);
        SetCurrentDirectoryW(folder.c_str());
    }
    ~QvCurrentFolder() { SetCurrentDirectoryW(saved_); }

private:
    wchar_t saved_[MAX_PATH] = {};
};

inline std::wstring text_of(const QV_string& s)
{
    return s.c_str() ? std::wstring(s.c_str()) : std::wstring(L"<no text>");
}
