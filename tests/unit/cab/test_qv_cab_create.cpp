#include "cab/qv_cab.h"
#include "cab_test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(CabCreate, MakesMissingFoldersAndReplacesAnExistingArchive)
{
    Sandbox box(L"create");
    std::wstring nested = box.file(L"a\\b\\c\\out.cab");
    std::wstring source = box.file(L"s.txt");
    ASSERT_TRUE(write_file(source, "source"));

    QV_cab* cab = QV_cab::create(nested.c_str(), true, true);
    ASSERT_NE(nullptr, cab);
    EXPECT_TRUE(cab->add_file(source.c_str(), L"s.txt"));
    EXPECT_TRUE(cab->flush());
    cab->release();
    EXPECT_EQ(1u, read_cab_directory(nested).files.size());

    // Replaced by an archive without files.
    cab = QV_cab::create(nested.c_str(), true, true);
    ASSERT_NE(nullptr, cab);
    EXPECT_TRUE(cab->flush());
    cab->release();
    Cab_directory dir = read_cab_directory(nested);
    EXPECT_TRUE(dir.valid);
    EXPECT_TRUE(dir.files.empty());

    EXPECT_EQ(nullptr, QV_cab::create(box.file(L"x\\y\\out.cab").c_str(), true, false));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(box.file(L"x").c_str()));
}

TEST(CabCreate, GivesNullWhenTheDestinationCannotBeMadeOrFreed)
{
    Sandbox box(L"create_null");
    ASSERT_TRUE(write_file(box.file(L"a_file"), "x"));
    EXPECT_EQ(nullptr, QV_cab::create(box.file(L"a_file\\sub\\out.cab").c_str(), true, true));
    ASSERT_TRUE(CreateDirectoryW(box.file(L"folder.cab").c_str(), nullptr));
    EXPECT_EQ(nullptr, QV_cab::create(box.file(L"folder.cab").c_str(), true, true));
    EXPECT_EQ(nullptr, QV_cab::create(box.file(std::wstring(300, L'n')).c_str(), true, true));
    EXPECT_EQ(nullptr, QV_cab::create(nullptr, true, true));
}

}  // namespace
