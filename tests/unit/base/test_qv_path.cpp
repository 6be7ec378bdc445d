#include "base/qv_path.h"

#include "test_qv_path_sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

struct Case {
    const wchar_t* path;
    const wchar_t* expected;
};

std::wstring unused_drive()
{
    DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
        if (!(drives & (1u << (letter - L'A'))))
            return std::wstring(1, letter) + L":";
    }
    return L"";
}

TEST(QvPath, JoinPutsExactlyOneBackslashBetween)
{
    struct JoinCase {
        const wchar_t* path;
        const wchar_t* part;
        const wchar_t* expected;
    };
    const JoinCase cases[] = {
        {L"C:\\dir", L"file", L"C:\\dir\\file"},       {L"C:\\dir\\", L"\\file", L"C:\\dir\\file"},
        {L"C:\\dir\\", L"file", L"C:\\dir\\file"},     {L"C:\\dir", L"\\file", L"C:\\dir\\file"},
        {L"", L"file", L"file"},                       {nullptr, L"sub\\file", L"sub\\file"},
        {L"C:", L"x", L"C:\\x"},                       {L"a", nullptr, L"a\\"},
        {L"100%s", L"%d%n", L"100%s\\%d%n"},
    };
    for (const JoinCase& c : cases) {
        QV_path path(c.path);
        QV_path returned = path.join(QV_string(c.part));
        EXPECT_EQ(c.expected, text_of(path)) << "joining " << testing::PrintToString(text_of(QV_path(c.path)));
        EXPECT_EQ(c.expected, text_of(returned));
    }
    QV_path first(L"C:\\dir");
    QV_path joined = join(first, QV_string(L"file"));
    EXPECT_EQ(L"C:\\dir\\file", text_of(joined));
    EXPECT_EQ(L"C:\\dir", text_of(first));
}

TEST(QvPath, ParentUsesTheLaterSeparatorAndStopsAtRoots)
{
    const Case cases[] = {
        {L"C:\\dir\\file", L"C:\\dir"}, {L"C:\\file", L"C:\\"}, {L"C:\\", L""},
        {L"dir/sub\\file", L"dir/sub"}, {L"a\\b/c", L"a\\b"},    {L"file", L""},
        {L"C:", L""},                   {L"\\file", L""},        {L"C:/x", L"C:\\"},
        {L"", L""},                     {L"\\\\srv\\share\\f", L"\\\\srv\\share"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, text_of(QV_path(c.path).parent())) << "parent of " << testing::PrintToString(c.path);
    EXPECT_EQ(L"", text_of(QV_path(nullptr).parent()));
}

TEST(QvPath, FileNameAndExtensionLookAtTheLastComponentOnly)
{
    const struct {
        const wchar_t* path;
        const wchar_t* name;
        const wchar_t* extension;
    } cases[] = {
        {L"C:\\dir\\file.txt", L"file.txt", L"txt"}, {L"C:\\dir\\archive", L"archive", L""},
        {L"C:\\dir.old\\file", L"file", L""},         {L"a.tar.gz", L"a.tar.gz", L"gz"},
        {L"dir/b.c", L"dir/b.c", L"c"},               {L"C:\\", L"", L""},
        {L"D:", L"", L""},                            {L"C:\\dir\\", L"", L""},
        {L"C:\\dir\\file.", L"file.", L""},           {L"", L"", L""},
    };
    for (const auto& c : cases) {
        QV_path path(c.path);
        EXPECT_EQ(c.name, text_of(path.file_name())) << testing::PrintToString(c.path);
        EXPECT_EQ(c.extension, text_of(path.extension())) << testing::PrintToString(c.path);
    }
    EXPECT_EQ(L"", text_of(QV_path(nullptr).file_name()));
    EXPECT_EQ(L"", text_of(QV_path(nullptr).extension()));
}

TEST(QvPath, ConstructorsFromTheSystem)
{
    QV_path own(static_cast<HMODULE>(nullptr));
    wchar_t expected[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, expected, MAX_PATH + 1);
    EXPECT_EQ(expected, text_of(own));
    EXPECT_TRUE(own.exists());

    QV_path kernel(GetModuleHandleW(L"kernel32.dll"));
    EXPECT_TRUE(kernel.file_name().equals_no_case(L"kernel32.dll")) << text_of(kernel);

    wchar_t windows[MAX_PATH] = {}, system[MAX_PATH] = {}, temp[MAX_PATH + 1] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    GetSystemDirectoryW(system, MAX_PATH);
    GetTempPathW(MAX_PATH + 1, temp);
    EXPECT_TRUE(QV_path(CSIDL_WINDOWS, FALSE).equals_no_case(windows));
    EXPECT_TRUE(QV_path(CSIDL_SYSTEM, FALSE).equals_no_case(system));
    QV_path temp_path(QV_path::temp_directory);
    EXPECT_EQ(temp, text_of(temp_path));
    EXPECT_EQ(L'\\', temp_path.c_str()[temp_path.length() - 1]);

    // Failures give the empty path, never no text.
    EXPECT_EQ(L"", text_of(QV_path(1)));
    EXPECT_EQ(L"", text_of(QV_path(-1)));
    EXPECT_EQ(L"", text_of(QV_path(0x7F, FALSE)));
    EXPECT_EQ(L"", text_of(QV_path(reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x10)))));
}

TEST(QvPath, CopiesCarryFlagsAndIdListAssignmentFromTextDropsThem)
{
    // An ID list of two items (3 and 4 bytes) and the terminator.
    const BYTE items[] = {3, 0, 0xAA, 4, 0, 0xBB, 0xCC, 0, 0};
    QV_path path(L"C:\\");
    path.keep_idlist(QV_idlist(qv_clone_idlist(reinterpret_cast<LPCITEMIDLIST>(items))));
    ASSERT_TRUE(path.is_root());
    const unsigned short cached = path.flags();
    EXPECT_EQ(QV_path::kind_directory | QV_path::root_yes, cached);

    QV_path copy(path);
    QV_path from_pointer(&path);
    QV_path assigned;
    assigned = path;
    for (const QV_path* p : {&copy, &from_pointer, &assigned}) {
        EXPECT_EQ(cached, p->flags());
        ASSERT_NE(nullptr, p->idlist());
        EXPECT_NE(path.idlist(), p->idlist());
        EXPECT_EQ(0, memcmp(items, p->idlist(), sizeof(items)));
    }
    EXPECT_EQ(nullptr, QV_path(static_cast<const QV_path*>(nullptr)).c_str());

    QV_path plus = path + L"x";
    EXPECT_EQ(L"C:\\x", text_of(plus));
    EXPECT_EQ(0, plus.flags()) << "the cache described the left operand's text";
    EXPECT_EQ(L"C:\\", text_of(path + static_cast<const char*>(nullptr)));
    EXPECT_EQ(nullptr, plus.idlist());

    assigned.assign(L"C:\\dir");
    EXPECT_EQ(0, assigned.flags());
    EXPECT_EQ(nullptr, assigned.idlist());
    copy.join(QV_string(L"x"));
    EXPECT_EQ(0, copy.flags());
    EXPECT_EQ(nullptr, copy.idlist());
    from_pointer += L"x";
    EXPECT_EQ(0, from_pointer.flags());

    // Assigning its own text changes nothing, the cache included.
    path.assign(path.c_str());
    EXPECT_EQ(cached, path.flags());
    EXPECT_NE(nullptr, path.idlist());
}

TEST(QvPath, BareDriveIsRootAndDirectoryEvenWithoutMedium)
{
    std::wstring drive = unused_drive();
    ASSERT_FALSE(drive.empty()) << "no free drive letter";
    for (const std::wstring& text : {drive, drive + L"\\"}) {
        QV_path root(text.c_str());
        EXPECT_TRUE(root.is_root()) << testing::PrintToString(text);
        EXPECT_EQ(QV_path::kind_directory | QV_path::root_yes, root.flags());
        QV_path by_kind(text.c_str());
        EXPECT_FALSE(by_kind.is_file());
        EXPECT_EQ(QV_path::kind_directory | QV_path::root_yes, by_kind.flags());
        EXPECT_EQ(L"", text_of(root.parent()));
    }
    QV_path relative((drive + L"x").c_str());
    EXPECT_FALSE(relative.is_root());
    EXPECT_TRUE(relative.is_file());
    EXPECT_EQ(QV_path::kind_file | QV_path::root_no, relative.flags());
    QV_path lower(L"c:");
    EXPECT_TRUE(lower.is_root());

    QV_path empty;
    EXPECT_FALSE(empty.is_file());
    EXPECT_FALSE(empty.is_root());
    EXPECT_EQ(0, empty.flags());
}

TEST(QvPath, SortsBeforeOrdersAMapKeyFilesFirstAndContentsAfterTheirDirectory)
{
    struct ByPath {
        bool operator()(const QV_path& a, const QV_path& b) const { return a.sorts_before(b); }
    };
    const std::vector<std::wstring> expected = {
        L"C:\\a",       L"C:\\a\\b",     L"C:\\a\\b\\z", L"C:\\a\\f",     L"C:\\a\\f.dxkey",
        L"C:\\a\\f-1",  L"C:\\a\\f.txt", L"C:\\a b",     L"C:\\a-b",     L"C:\\ab",
        L"C:\\b",       L"C:\\b.DXKEY",  L"C:\\b.dxkey",
    };
    std::vector<std::wstring> shuffled = expected;
    std::reverse(shuffled.begin(), shuffled.end());
    std::swap(shuffled[1], shuffled[7]);
    std::map<QV_path, int, ByPath> map;
    for (const std::wstring& text : shuffled)
        map[QV_path(text.c_str())] = 1;
    map[QV_path(L"C:\\a\\f.dxkey")] = 2;  // the same key again replaces, not adds
    std::vector<std::wstring> order;
    for (const auto& entry : map)
        order.push_back(text_of(entry.first));
    EXPECT_EQ(expected, order);

    // A strict ordering: irreflexive and asymmetric over every pair.
    for (const std::wstring& x : expected) {
        QV_path a(x.c_str());
        EXPECT_FALSE(a.sorts_before(a)) << testing::PrintToString(x);
        for (const std::wstring& y : expected) {
            if (x != y) {
                EXPECT_NE(a.sorts_before(QV_path(y.c_str())), QV_path(y.c_str()).sorts_before(a))
                    << testing::PrintToString(x) << " vs " << testing::PrintToString(y);
            }
        }
    }
    EXPECT_TRUE(QV_path(L"C:\\a\\f.dxkey").sorts_before(QV_path(L"C:\\a\\f.dx")));
    EXPECT_TRUE(QV_path(nullptr).sorts_before(QV_path(L"a")));
    EXPECT_FALSE(QV_path(nullptr).sorts_before(QV_path(L"")));
}

} // namespace
