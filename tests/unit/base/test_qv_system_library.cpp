#include "base/qv_system_library.h"
#include "base/qv_version_library.h"
#include "shell/dx_shell_version.h"

#include "qv_child.h"
#include "qv_test_files.h"
#include "qv_version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <cwctype>
#include <string>

namespace {

std::wstring folded(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring widen(const char* text)
{
    return std::wstring(text, text + std::strlen(text));
}

std::wstring system_folder_file(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

std::wstring module_file(HMODULE module)
{
    wchar_t file[MAX_PATH] = {};
    GetModuleFileNameW(module, file, MAX_PATH);
    return file;
}

// Runs the test in another current folder and goes back at its end.
class Current_folder {
public:
    explicit Current_folder(const std::wstring& folder)
    {
        GetCurrentDirectoryW(MAX_PATH, saved_);
        SetCurrentDirectoryW(folder.c_str());
    }
    ~Current_folder() { SetCurrentDirectoryW(saved_); }

private:
    wchar_t saved_[MAX_PATH] = {};
};

// The version functions every call goes through while the test runs.
class Version_functions {
public:
    explicit Version_functions(const QV_version_entry_points& functions)
    {
        qv_version_entry_points_override = &functions;
    }
    ~Version_functions() { qv_version_entry_points_override = nullptr; }
};

TEST(QvSystemLibrary, LoadsTheSystemFoldersOwnFile)
{
    for (const wchar_t* name : {L"cabinet.dll", L"version.dll"}) {
        SCOPED_TRACE(testing::Message() << name);
        HMODULE library = qv_load_system_library(name);
        ASSERT_NE(nullptr, library);
        EXPECT_EQ(folded(system_folder_file(name)), folded(module_file(library)));
        FreeLibrary(library);
    }
}

// Both libraries lie where a search by name finds them (beside the test program and
// in the current folder), and neither is in the system folder.
TEST(QvSystemLibrary, NeverTakesALibraryFromBesideTheProgramOrTheCurrentFolder)
{
    std::wstring planted = qv_sibling_path(L"planted_library.dll");
    std::wstring here = qv_fresh_sandbox(L"qv_system_library");
    ASSERT_TRUE(CopyFileW(planted.c_str(), (here + L"\\vlmkd_planted_here.dll").c_str(), FALSE));
    Current_folder inside(here);
    for (const wchar_t* name : {L"planted_library.dll", L"vlmkd_planted_here.dll"}) {
        SCOPED_TRACE(testing::Message() << name);
        HMODULE found = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, found) << "a search by name must find the library for the case to mean anything";
        FreeLibrary(found);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, qv_load_system_library(name));
        EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    }
}

TEST(QvSystemLibrary, RefusesAnythingButAPlainFileName)
{
    const wchar_t* refused[] = {nullptr,
                                L"",
                                L".",
                                L"..",
                                L"..\\cabinet.dll",
                                L"sub/cabinet.dll",
                                L"C:cabinet.dll",
                                L"\\\\?\\C:\\windows\\system32\\cabinet.dll",
                                L"cabinet.dll:stream"};
    for (const wchar_t* name : refused) {
        SCOPED_TRACE(testing::Message() << (name ? name : L"(null)"));
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, qv_load_system_library(name));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    std::wstring full = system_folder_file(L"cabinet.dll");
    EXPECT_EQ(nullptr, qv_load_system_library(full.c_str()));
}

TEST(QvSystemLibrary, FunctionsAreTypedExportsOrNull)
{
    HMODULE version = qv_load_system_library(L"version.dll");
    ASSERT_NE(nullptr, version);
    auto query = qv_library_function<decltype(::VerQueryValueW)>(version, "VerQueryValueW");
    ASSERT_NE(nullptr, query);
    EXPECT_EQ(reinterpret_cast<void*>(query), reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueW")));
    EXPECT_EQ(nullptr, qv_library_function<decltype(::VerQueryValueW)>(version, "NoSuchExport"));
    EXPECT_EQ(nullptr, qv_library_function<decltype(::VerQueryValueW)>(nullptr, "VerQueryValueW"));
    FreeLibrary(version);
}

// A file's version is read through the system folder's library; without it the read
// fails as when the file has no version, and the text is left as it was.
TEST(QvVersionLibrary, FileVersionReadsThroughTheLibraryAndFailsWithoutIt)
{
    QV_path program(qv_sibling_path(L"VlmKdShell.com").c_str());
    QV_string version(L"untouched");
    ASSERT_TRUE(dx_get_file_version(program, version));
    EXPECT_EQ(widen(QV_VERSION_TEXT), version.c_str());

    const QV_version_entry_points missing;
    Version_functions none(missing);
    version = QV_string(L"untouched");
    EXPECT_FALSE(dx_get_file_version(program, version));
    EXPECT_STREQ(L"untouched", version.c_str());
    SetLastError(0);
    EXPECT_EQ(0u, qv_ver::GetFileVersionInfoSizeW(program.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
}

}  // namespace
