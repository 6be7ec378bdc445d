#include "base/qv_idlist.h"
#include "base/qv_paths.h"

#include "test_qv_path_sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>

namespace {

std::wstring block_text(const wchar_t* block, size_t chars)
{
    return std::wstring(block, chars);
}

TEST(QvPaths, FileListIsDoubleNulTerminatedAndExactlySized)
{
    QV_paths paths;
    paths.add(QV_string(L"C:\\a"));
    paths.add(QV_string(L"b%s"));
    paths.add(QV_path(L"C:\\dir\\f.txt"));
    ASSERT_EQ(3u, paths.size());

    const wchar_t* list = paths.file_list();
    const size_t chars = 4 + 3 + 12 + 3 + 1;
    ASSERT_EQ(chars * sizeof(wchar_t), paths.slot_size(QV_paths::file_list_slot));
    EXPECT_EQ(list, paths.slot_data(QV_paths::file_list_slot));
    EXPECT_EQ(std::wstring(L"C:\\a\0b%s\0C:\\dir\\f.txt\0\0", chars), block_text(list, chars));

    // Rebuilding replaces the list with the current elements.
    paths.pop_front();
    list = paths.file_list();
    EXPECT_EQ(std::wstring(L"b%s\0C:\\dir\\f.txt\0\0", 18), block_text(list, 18));
    EXPECT_EQ(18 * sizeof(wchar_t), paths.slot_size(QV_paths::file_list_slot));

    QV_paths empty;
    list = empty.file_list();
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(L'\0', list[0]);
    EXPECT_EQ(sizeof(wchar_t), empty.slot_size(QV_paths::file_list_slot));
}

TEST(QvPaths, SlotsAreOwnedPerListAndSurviveAssignment)
{
    QV_paths paths;
    for (auto slot : {QV_paths::file_list_slot, QV_paths::reserved_slot, QV_paths::idlist_array_slot}) {
        EXPECT_EQ(nullptr, paths.slot_data(slot));
        EXPECT_EQ(0u, paths.slot_size(slot));
    }
    unsigned char* block = static_cast<unsigned char*>(paths.fill_slot(QV_paths::idlist_array_slot, 64));
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(0, block[i]) << "zero-filled at " << i;
    block[63] = 0x5A;
    paths.fill_slot(QV_paths::reserved_slot, 8);
    paths.add(QV_string(L"x"));

    QV_paths copy(paths);
    EXPECT_EQ(1u, copy.size());
    EXPECT_EQ(nullptr, copy.slot_data(QV_paths::idlist_array_slot)) << "payloads are not shared";

    QV_paths other;
    other.add(QV_string(L"y"));
    other.add(QV_string(L"z"));
    paths = other;
    ASSERT_EQ(2u, paths.size());
    EXPECT_EQ(L"y", text_of(paths.front()));
    EXPECT_EQ(64u, paths.slot_size(QV_paths::idlist_array_slot));
    EXPECT_EQ(0x5A, static_cast<const unsigned char*>(paths.slot_data(QV_paths::idlist_array_slot))[63]);
    EXPECT_EQ(8u, paths.slot_size(QV_paths::reserved_slot));
    EXPECT_EQ(nullptr, other.slot_data(QV_paths::idlist_array_slot));

    paths.free_slot(QV_paths::idlist_array_slot);
    EXPECT_EQ(nullptr, paths.slot_data(QV_paths::idlist_array_slot));
    EXPECT_EQ(0u, paths.slot_size(QV_paths::idlist_array_slot));
    EXPECT_EQ(nullptr, paths.fill_slot(static_cast<QV_paths::slot_id>(3), 4));
    EXPECT_EQ(nullptr, paths.slot_data(static_cast<QV_paths::slot_id>(-1)));
}

TEST(QvIdlist, SizeAndCloneFollowTheItemCounts)
{
    // Items of 5 and 4 bytes (odd address for the second), then the terminator.
    const BYTE items[] = {5, 0, 1, 2, 3, 4, 0, 9, 9, 0, 0};
    LPCITEMIDLIST list = reinterpret_cast<LPCITEMIDLIST>(items);
    EXPECT_EQ(9u, qv_idlist_size(list));
    QV_idlist clone(qv_clone_idlist(list));
    ASSERT_TRUE(clone);
    EXPECT_NE(list, clone.get());
    EXPECT_EQ(0, std::memcmp(items, clone.get(), sizeof(items)));

    const BYTE terminator_only[] = {0, 0};
    EXPECT_EQ(0u, qv_idlist_size(reinterpret_cast<LPCITEMIDLIST>(terminator_only)));
    QV_idlist empty_clone(qv_clone_idlist(reinterpret_cast<LPCITEMIDLIST>(terminator_only)));
    ASSERT_TRUE(empty_clone);
    EXPECT_EQ(0u, qv_idlist_size(empty_clone.get()));

    EXPECT_EQ(0u, qv_idlist_size(nullptr));
    EXPECT_EQ(nullptr, qv_clone_idlist(nullptr));
    EXPECT_FALSE(QV_idlist().clone());
}

TEST(QvIdlist, AgreesWithTheShellOnARealList)
{
    QV_path temp(QV_path::temp_directory);
    LPITEMIDLIST shell_list = ILCreateFromPathW(temp.c_str());
    ASSERT_NE(nullptr, shell_list);
    QV_idlist owned(shell_list);
    EXPECT_EQ(ILGetSize(shell_list) - 2, qv_idlist_size(owned.get()));
    QV_idlist clone = owned.clone();
    EXPECT_TRUE(ILIsEqual(owned.get(), clone.get()));

    QV_idlist moved(std::move(clone));
    EXPECT_FALSE(clone);
    EXPECT_TRUE(moved);
    CoTaskMemFree(moved.release());
    EXPECT_FALSE(moved);
}

} // namespace
