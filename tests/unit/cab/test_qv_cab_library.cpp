#include "cab/qv_cab.h"
#include "cab/qv_fci.h"
#include "cab_test_support.h"

#include <gtest/gtest.h>

namespace {

// The library's entry points every writer goes through while the test runs.
class Fci_entry_points {
public:
    explicit Fci_entry_points(const QV_fci_entry_points& entry_points)
    {
        qv_fci_entry_points_override = &entry_points;
    }
    ~Fci_entry_points() { qv_fci_entry_points_override = nullptr; }
};

// A machine whose cabinet library cannot be had: no writer, as when the library
// cannot make a context, and nothing left in the destination's folder.
TEST(CabLibrary, NoWriterWithoutTheLibraryAndNothingLeftBehind)
{
    Sandbox box(L"library");
    ASSERT_TRUE(qv_write_file(box.file(L"s.txt"), "source"));
    const QV_fci_entry_points missing;
    {
        Fci_entry_points none(missing);
        EXPECT_EQ(nullptr, QV_cab::create(box.file(L"out.cab").c_str(), true, true));
    }
    EXPECT_EQ(std::vector<std::wstring>{L"s.txt"}, box.entries());

    // With only the context's own creation there, nothing can be added or written.
    QV_fci_entry_points create_only;
    create_only.create = qv_fci_entry_points().create;
    create_only.destroy = qv_fci_entry_points().destroy;
    Fci_entry_points partial(create_only);
    QV_cab* cab = QV_cab::create(box.file(L"out.cab").c_str(), true, true);
    ASSERT_NE(nullptr, cab);
    EXPECT_FALSE(cab->add_file(box.file(L"s.txt").c_str(), L"s.txt"));
    EXPECT_FALSE(cab->flush());
    cab->release();
    EXPECT_EQ(std::vector<std::wstring>{L"s.txt"}, box.entries());
}

// Every entry point is bound, and to the system folder's library, whatever the test
// program's folder holds.
TEST(CabLibrary, EntryPointsComeFromTheSystemFoldersLibrary)
{
    const QV_fci_entry_points& bound = qv_fci_entry_points();
    ASSERT_NE(nullptr, bound.create);
    ASSERT_NE(nullptr, bound.add_file);
    ASSERT_NE(nullptr, bound.flush_cabinet);
    ASSERT_NE(nullptr, bound.destroy);
    HMODULE owner = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(bound.create), &owner));
    wchar_t file[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetModuleFileNameW(owner, file, MAX_PATH);
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(0, _wcsicmp((std::wstring(system) + L"\\cabinet.dll").c_str(), file));
}

}  // namespace
