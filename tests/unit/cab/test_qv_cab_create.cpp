#include "cab/qv_cab.h"
#include "cab_test_support.h"

#include <gtest/gtest.h>

namespace {

// A writer that only counts its own end.
class Counted_cab final : public QV_cab {
public:
    explicit Counted_cab(int& ended) : ended_(ended) {}
    ~Counted_cab() override { ++ended_; }
    bool add_file(const wchar_t*, const wchar_t*) override { return false; }
    bool add_file(const wchar_t*) override { return false; }
    bool add_open_file(HANDLE, const wchar_t*, const wchar_t*) override { return false; }
    bool flush() override { return false; }
    const wchar_t* archive_path() const override { return L""; }
    void report_progress(QV_progress*, ULONGLONG) override {}

private:
    int& ended_;
};

TEST(CabOwner, ReleasesItsWriterOnce)
{
    int ended = 0;
    {
        QV_cab_owner first(new Counted_cab(ended));
        QV_cab_owner second(std::move(first));
        EXPECT_EQ(0, ended);
        first.reset();  // holds nothing any more
        EXPECT_EQ(0, ended);
    }
    EXPECT_EQ(1, ended);
    QV_cab_owner replaced(new Counted_cab(ended));
    replaced.reset(new Counted_cab(ended));
    EXPECT_EQ(2, ended);
    replaced.reset();
    EXPECT_EQ(3, ended);
}

TEST(CabCreate, MakesMissingFoldersAndReplacesAnExistingArchive)
{
    Sandbox box(L"create");
    std::wstring nested = box.file(L"a\\b\\c\\out.cab");
    std::wstring source = box.file(L"s.txt");
    ASSERT_TRUE(qv_write_file(source, "source"));

    QV_cab_owner cab(QV_cab::create(nested.c_str(), true, true));
    ASSERT_TRUE(cab);
    EXPECT_TRUE(cab->add_file(source.c_str(), L"s.txt"));
    EXPECT_TRUE(cab->flush());
    cab.reset();
    EXPECT_EQ(1u, read_cab_directory(nested).files.size());

    // Replaced by an archive without files.
    cab.reset(QV_cab::create(nested.c_str(), true, true));
    ASSERT_TRUE(cab);
    EXPECT_TRUE(cab->flush());
    cab.reset();
    Cab_directory dir = read_cab_directory(nested);
    EXPECT_TRUE(dir.valid);
    EXPECT_TRUE(dir.files.empty());

    EXPECT_EQ(nullptr, QV_cab::create(box.file(L"x\\y\\out.cab").c_str(), true, false));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(box.file(L"x").c_str()));
}

TEST(CabCreate, GivesNullWhenTheDestinationCannotBeMadeOrFreed)
{
    Sandbox box(L"create_null");
    ASSERT_TRUE(qv_write_file(box.file(L"a_file"), "x"));
    EXPECT_EQ(nullptr, QV_cab::create(box.file(L"a_file\\sub\\out.cab").c_str(), true, true));
    ASSERT_TRUE(CreateDirectoryW(box.file(L"folder.cab").c_str(), nullptr));
    EXPECT_EQ(nullptr, QV_cab::create(box.file(L"folder.cab").c_str(), true, true));
    EXPECT_EQ(nullptr, QV_cab::create(box.file(std::wstring(300, L'n')).c_str(), true, true));
    EXPECT_EQ(nullptr, QV_cab::create(nullptr, true, true));
}

}  // namespace
