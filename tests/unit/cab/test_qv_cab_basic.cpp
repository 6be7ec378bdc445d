#include "cab/qv_cab_basic.h"
#include "cab_test_support.h"
#include "qv_os_faults.h"
#include "qv_trace_file.h"
#include "trace/qv_trace_seams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A folder of exactly length characters under root, made level by level.
std::wstring nested_folder(const std::wstring& root, size_t length)
{
    std::wstring folder = root;
    CreateDirectoryW(folder.c_str(), nullptr);
    while (folder.size() < length) {
        size_t left = length - folder.size();  // a backslash and a name
        size_t part = std::min<size_t>(left - 1, 100);
        if (left - 1 - part == 1)
            --part;  // never leave room for a backslash alone
        folder += L"\\" + std::wstring(part, L'f');
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    return folder;
}

class CabWriter : public testing::Test {
protected:
    Sandbox box{L"writer"};

    std::wstring source(const wchar_t* name, const std::string& content)
    {
        std::wstring path = box.file(name);
        EXPECT_TRUE(qv_write_file(path, content));
        return path;
    }
    static size_t file_size(const std::wstring& path)
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
    }
    bool only_entries_are(std::vector<std::wstring> expected) const
    {
        std::vector<std::wstring> actual = box.entries();
        std::sort(actual.begin(), actual.end());
        std::sort(expected.begin(), expected.end());
        return actual == expected;
    }
};

TEST_F(CabWriter, WritesTheNamedFilesUnderTheDestinationNameOnly)
{
    std::wstring a = source(L"a.txt", "alpha");
    std::wstring b = source(L"b.bin", std::string(40000, 'b'));
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    ASSERT_TRUE(cab.is_open());
    EXPECT_TRUE(cab.add_file(a.c_str(), L"SysTraceFile.qv"));
    EXPECT_TRUE(cab.add_file(b.c_str()));  // under its own name
    ASSERT_TRUE(cab.flush());
    EXPECT_TRUE(only_entries_are({L"a.txt", L"b.bin", L"out.cab"}));

    Cab_directory dir = read_cab_directory(box.file(L"out.cab"));
    ASSERT_TRUE(dir.valid);
    ASSERT_EQ(2u, dir.files.size());
    EXPECT_EQ("SysTraceFile.qv", dir.files[0].name);
    EXPECT_EQ(5u, dir.files[0].size);
    EXPECT_EQ("b.bin", dir.files[1].name);
    EXPECT_EQ(40000u, dir.files[1].size);
}

TEST_F(CabWriter, ADestinationWithoutFolderLandsInTheCurrentFolder)
{
    std::wstring a = source(L"a.txt", "alpha");
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(box.path().c_str()));
    bool flushed = false;
    {
        QV_cab_basic cab(L"trace.cab");
        cab.add_file(a.c_str(), L"a.txt");
        flushed = cab.flush();
    }
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(flushed);
    EXPECT_TRUE(only_entries_are({L"a.txt", L"trace.cab"}));
}

// A file held open by a trace writer (appending, sharing reads) is archived; one
// held exclusively cannot be read and is left out.
TEST_F(CabWriter, AnUnreadableSourceIsLeftOutAndTheOthersStillFlush)
{
    std::wstring a = source(L"a.txt", "alpha");
    std::wstring held = source(L"held.txt", "held");
    std::wstring traced = source(L"traced.qv", "traced");
    HANDLE exclusive = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    HANDLE writer = CreateFileW(traced.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    EXPECT_FALSE(cab.add_file(box.file(L"missing.txt").c_str(), L"missing.txt"));
    EXPECT_FALSE(cab.add_file(box.file(L"missing.txt").c_str()));
    EXPECT_FALSE(cab.add_file(held.c_str(), L"held.txt"));
    EXPECT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
    EXPECT_TRUE(cab.add_file(traced.c_str(), L"traced.qv"));
    EXPECT_TRUE(cab.flush());
    CloseHandle(exclusive);
    CloseHandle(writer);
    Cab_directory dir = read_cab_directory(box.file(L"out.cab"));
    ASSERT_TRUE(dir.valid);
    ASSERT_EQ(2u, dir.files.size());
    EXPECT_EQ("a.txt", dir.files[0].name);
    EXPECT_EQ("traced.qv", dir.files[1].name);
}

// The cabinet library finishes an archive without files: a bare 36-byte header
// with no folder and no file (independent readers call it "no valid cabinet").
// A held source is archived as that handle reads it, whatever its name holds by
// then; and the archive is flushed before it takes its name.
TEST_F(CabWriter, TakesAHeldSourceThroughItsHandleAndFlushesBeforeTheName)
{
    std::wstring held = source(L"held.txt", "held bytes");
    HANDLE file = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(MoveFileW(held.c_str(), box.file(L"moved.txt").c_str()));
    source(L"held.txt", "another file, put in its place");
    QV_os_faults calls;
    {
        QV_cab_basic cab(box.file(L"out.cab").c_str());
        EXPECT_TRUE(cab.add_open_file(file, held.c_str(), L"held.txt"));
        ASSERT_TRUE(cab.flush());
    }
    CloseHandle(file);
    Cab_directory dir = read_cab_directory(box.file(L"out.cab"));
    ASSERT_TRUE(dir.valid);
    ASSERT_EQ(1u, dir.files.size());
    EXPECT_EQ(10u, dir.files[0].size);
    const std::vector<QV_os_call>& seen = calls.seen();
    auto flush = std::find(seen.begin(), seen.end(), QV_os_call::flush_file);
    EXPECT_NE(seen.end(), flush);
    EXPECT_LT(flush, std::find(seen.begin(), seen.end(), QV_os_call::set_file_info));  // the rename
}

TEST_F(CabWriter, AnArchiveWithoutFilesIsABareHeader)
{
    QV_cab_basic cab(box.file(L"empty.cab").c_str());
    EXPECT_FALSE(cab.add_file(box.file(L"missing").c_str(), L"UsrTraceFile.qv"));
    ASSERT_TRUE(cab.flush());
    Cab_directory dir = read_cab_directory(box.file(L"empty.cab"));
    ASSERT_TRUE(dir.valid);
    EXPECT_EQ(36u, dir.cabinet_size);
    EXPECT_EQ(0u, dir.folders);
    EXPECT_TRUE(dir.files.empty());
}

TEST_F(CabWriter, ReleasedWithoutFlushLeavesNothingBehind)
{
    std::wstring a = source(L"a.txt", "alpha");
    {
        QV_cab_basic cab(box.file(L"out.cab").c_str());
        ASSERT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
    }
    EXPECT_TRUE(only_entries_are({L"a.txt"}));
}

// Lowers the largest cabinet for one test; an archive past it would need
// follow-on cabinets, which the writer refuses.
class Largest_cabinet {
public:
    explicit Largest_cabinet(ULONG bytes) : saved_(qv_cab_largest_cabinet) { qv_cab_largest_cabinet = bytes; }
    ~Largest_cabinet() { qv_cab_largest_cabinet = saved_; }

private:
    ULONG saved_;
};

std::string incompressible(size_t size)
{
    std::string bytes(size, '\0');
    unsigned state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

// An archive too large for one cabinet fails, and nothing half-written stays,
// under the archive's name or a follow-on one; a small one still fits.
TEST_F(CabWriter, AFailedFlushLeavesNoArchiveUnderAnyName)
{
    Largest_cabinet lowered(60000);
    std::wstring small = source(L"small.txt", "fits");
    std::wstring big = source(L"big.bin", incompressible(200000));
    {
        QV_cab_basic fits(box.file(L"fits.cab").c_str());
        EXPECT_TRUE(fits.add_file(small.c_str(), L"small.txt"));
        EXPECT_TRUE(fits.flush());
    }
    EXPECT_EQ(1u, read_cab_directory(box.file(L"fits.cab")).files.size());
    {
        QV_cab_basic cab(box.file(L"out.cab").c_str());
        cab.add_file(small.c_str(), L"small.txt");
        cab.add_file(big.c_str(), L"big.bin");  // may already fail while adding
        EXPECT_FALSE(cab.flush());
        EXPECT_FALSE(cab.flush());
        EXPECT_TRUE(only_entries_are({L"small.txt", L"big.bin", L"fits.cab"}));
    }
    EXPECT_TRUE(only_entries_are({L"small.txt", L"big.bin", L"fits.cab"}));
}

// Lowers the most uncompressed bytes a folder holds, for one test.
class Folder_limit {
public:
    explicit Folder_limit(__int64 bytes) : saved_(qv_cab_folder_limit) { qv_cab_folder_limit = bytes; }
    ~Folder_limit() { qv_cab_folder_limit = saved_; }

private:
    __int64 saved_;
};

// Trace records of this process go to the trace file while the test runs.
class Tracing_on {
public:
    Tracing_on() { reset(true); }
    ~Tracing_on() { reset(false); }

private:
    static void reset(bool on)
    {
        on ? qv_set_trace_switch(HKEY_CURRENT_USER, 1) : qv_clear_trace_switch();
        qv_delete_trace_file();
        qv_trace_reset_writer_state();
    }
};

// No folder passes the limit: files share a folder while they fit, a file that
// would take it past the limit starts a new one, and a file larger than a whole
// folder keeps its mark and its last whole lines that fit, the bytes left out
// named in the trace.
TEST_F(CabWriter, NoFolderPassesTheLimit)
{
    const __int64 limit = 100000;
    Folder_limit lowered(limit);
    Tracing_on tracing;
    std::vector<std::wstring> lines;
    std::wstring text;
    for (int i = 0; i < 6000; ++i)
        text += lines.emplace_back(L"record " + std::to_wstring(i) + (i % 3 ? L"\n" : L"\r\n"));
    std::wstring trace = source(L"t.qv", "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()),
                                                                   text.size() * sizeof(wchar_t)));
    __int64 kept = 2;
    for (auto line = lines.rbegin(); kept + static_cast<__int64>(line->size() * 2) <= limit; ++line)
        kept += line->size() * 2;
    const wchar_t* names[] = {L"s1.bin", L"s2.bin", L"a.bin"};
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    for (const wchar_t* name : names)
        EXPECT_TRUE(cab.add_file(source(name, incompressible(name[0] == L'a' ? 60000 : 30000)).c_str(), name));
    EXPECT_TRUE(cab.add_file(trace.c_str(), L"t.qv"));
    ASSERT_TRUE(cab.flush());

    Cab_directory dir = read_cab_directory(box.file(L"out.cab"));
    ASSERT_TRUE(dir.valid);
    EXPECT_EQ(3u, dir.folders);
    ASSERT_EQ(4u, dir.files.size());
    EXPECT_EQ(30000u, dir.files[1].size);
    EXPECT_EQ(60000u, dir.files[2].size);
    EXPECT_EQ(static_cast<uint32_t>(kept), dir.files[3].size);
    std::wstring record = trace + L" is larger than a cabinet folder holds: " +
                          std::to_wstring(file_size(trace) - kept) + L" bytes before its last line start";
    EXPECT_NE(std::wstring::npos, qv_read_trace_text().find(record)) << qv_read_trace_text();
}

// A name taken after the writer was made (by a file or a folder) is never
// written over: the archive goes to the first free name beside it.
TEST_F(CabWriter, NeverReplacesWhatTookTheNameMeanwhile)
{
    std::wstring a = source(L"a.txt", "alpha");
    QV_cab_basic file_taken(box.file(L"out.cab").c_str());
    QV_cab_basic folder_taken(box.file(L"dir.cab").c_str());
    source(L"out.cab", "old archive");
    ASSERT_TRUE(CreateDirectoryW(box.file(L"dir.cab").c_str(), nullptr));
    for (QV_cab_basic* cab : {&file_taken, &folder_taken}) {
        ASSERT_TRUE(cab->add_file(a.c_str(), L"a.txt"));
        ASSERT_TRUE(cab->flush());
    }
    EXPECT_EQ(box.file(L"out (1).cab"), file_taken.archive_path());
    EXPECT_EQ(box.file(L"dir (1).cab"), folder_taken.archive_path());
    EXPECT_TRUE(read_cab_directory(box.file(L"out (1).cab")).valid);
    EXPECT_TRUE(read_cab_directory(box.file(L"dir (1).cab")).valid);
    EXPECT_EQ(11u, file_size(box.file(L"out.cab")));
    EXPECT_TRUE(only_entries_are({L"a.txt", L"out.cab", L"out (1).cab", L"dir.cab", L"dir (1).cab"}));
}

// Two writers of one archive name at once: each holds its own reservation, the
// second cannot remove the first's, and each archive gets a name of its own.
TEST_F(CabWriter, WritersOfOneNameAtOnceEachGetAnArchive)
{
    std::wstring a = source(L"a.txt", "alpha");
    std::wstring b = source(L"b.txt", "bravo!");
    QV_cab_basic first(box.file(L"race.cab").c_str());
    QV_cab_basic second(box.file(L"race.cab").c_str());
    ASSERT_TRUE(first.is_open());
    ASSERT_TRUE(second.is_open());
    EXPECT_TRUE(only_entries_are({L"a.txt", L"b.txt", L"race.cab.1.partial", L"race.cab.2.partial"}));
    ASSERT_TRUE(second.add_file(b.c_str(), L"b.txt"));
    ASSERT_TRUE(first.add_file(a.c_str(), L"a.txt"));
    ASSERT_TRUE(second.flush());
    ASSERT_TRUE(first.flush());
    EXPECT_EQ(box.file(L"race.cab"), second.archive_path());
    EXPECT_EQ(box.file(L"race (1).cab"), first.archive_path());
    EXPECT_EQ(6u, read_cab_directory(box.file(L"race.cab")).files.at(0).size);
    EXPECT_EQ(5u, read_cab_directory(box.file(L"race (1).cab")).files.at(0).size);
    EXPECT_TRUE(only_entries_are({L"a.txt", L"b.txt", L"race.cab", L"race (1).cab"}));
}

// What a killed writer leaves (a reservation nobody holds) goes with the next
// writer of that archive name; reservations of other names and look-alikes stay.
TEST_F(CabWriter, DeadReservationsOfTheArchiveNameAreRemoved)
{
    std::wstring a = source(L"a.txt", "alpha");
    for (const wchar_t* name : {L"out.cab.1.partial", L"OUT.CAB.17.partial", L"out.cab.x.partial",
                                L"out.cab.2.partial.bak", L"other.cab.1.partial"})
        source(name, "left behind");
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    ASSERT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
    ASSERT_TRUE(cab.flush());
    EXPECT_TRUE(only_entries_are({L"a.txt", L"out.cab", L"out.cab.x.partial", L"out.cab.2.partial.bak",
                                  L"other.cab.1.partial"}));
}

TEST(CabReservationName, NumberedAfterTheArchiveWithinAFileName)
{
    struct Case {
        std::wstring archive;
        unsigned number;
        std::wstring expected;
    } cases[] = {
        {L"trace.cab", 1, L"trace.cab.1.partial"},
        {L"\u0436\u0443\u0440.cab", 9999, L"\u0436\u0443\u0440.cab.9999.partial"},
        {std::wstring(242, L'n'), 12, std::wstring(242, L'n') + L".12.partial"},
        {std::wstring(255, L'n'), 3, std::wstring(242, L'n') + L".3.partial"},
        // A cut never splits a surrogate pair.
        {std::wstring(241, L'n') + L"\xD83D\xDE00" + L"tail", 1, std::wstring(241, L'n') + L".1.partial"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "archive of " << c.archive.size() << " characters");
        EXPECT_EQ(c.expected, std::wstring(qv_cab_reservation_name(c.archive.c_str(), c.number).c_str()));
    }
}

// The folder as the cabinet library takes it, with its trailing backslash: every
// length its 255-character field holds gets its archive (the system's own
// temporary-name call stops at 246); one more is refused.
TEST_F(CabWriter, FoldersUpToTheFieldLengthGetTheirArchive)
{
    std::wstring a = source(L"a.txt", "alpha");
    for (size_t length : {246u, 247u, 251u, 255u, 256u}) {
        SCOPED_TRACE(testing::Message() << "folder of " << length << " characters");
        std::wstring folder = nested_folder(box.file(L"deep"), length - 1);
        ASSERT_EQ(length - 1, folder.size());
        std::wstring destination = folder + L"\\trace.cab";
        bool flushed = false;
        {
            QV_cab_basic cab(destination.c_str());
            ASSERT_EQ(length <= 255, cab.is_open());
            if (cab.is_open()) {
                EXPECT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
                flushed = cab.flush();
                EXPECT_EQ(destination, cab.archive_path());
            }
        }
        EXPECT_EQ(length <= 255, flushed);
        EXPECT_EQ(length <= 255, read_cab_directory(destination).valid);
        EXPECT_EQ(length <= 255 ? 1u : 0u, qv_folder_entries(folder).size());
        qv_remove_tree(box.file(L"deep"));
    }
}

TEST_F(CabWriter, TheFolderIsMszipCompressed)
{
    std::wstring a = source(L"a.txt", std::string(10000, 'a'));
    QV_cab_basic cab(box.file(L"out.cab").c_str());
    ASSERT_TRUE(cab.add_file(a.c_str(), L"a.txt"));
    ASSERT_TRUE(cab.flush());
    Cab_directory dir = read_cab_directory(box.file(L"out.cab"));
    ASSERT_TRUE(dir.valid);
    EXPECT_EQ(std::vector<uint16_t>{1}, dir.folder_compression);  // tcompTYPE_MSZIP
    EXPECT_LT(dir.cabinet_size, 1000u);                            // compressed, not stored
}

TEST_F(CabWriter, RefusesDestinationsThatWouldBeCut)
{
    std::wstring long_name(256, L'n');
    EXPECT_FALSE(QV_cab_basic(box.file(long_name).c_str()).is_open());
    EXPECT_FALSE(QV_cab_basic((box.path() + L"\\").c_str()).is_open());  // no file name
    std::wstring deep = box.path() + L"\\" + std::wstring(260 - box.path().size(), L'd') + L"\\x.cab";
    EXPECT_FALSE(QV_cab_basic(deep.c_str()).is_open());
    EXPECT_FALSE(QV_cab_basic(box.file(L"no such folder\\x.cab").c_str()).is_open());
    EXPECT_TRUE(only_entries_are({}));
}

// Names outside the ANSI code page never reach the library as best-fit text:
// a source goes by its short name, and so does the stored name of a one-argument add.
TEST_F(CabWriter, NamesOutsideTheAnsiCodePage)
{
    std::wstring accented = source(L"caf\u00e9.txt", "latin");        // in code page 1252
    std::wstring cyrillic = source(L"\u0436\u0443\u0440\u043d\u0430\u043b.txt", "cyrillic");
    std::wstring destination = box.file(L"\u0430\u0440\u0445\u0438\u0432.cab");
    QV_cab_basic cab(destination.c_str());
    ASSERT_TRUE(cab.is_open());
    EXPECT_TRUE(cab.add_file(accented.c_str()));
    EXPECT_TRUE(cab.add_file(cyrillic.c_str(), L"UsrTraceFile.qv"));
    EXPECT_TRUE(cab.add_file(cyrillic.c_str()));
    EXPECT_FALSE(cab.add_file(accented.c_str(), L"\u0436.txt"));  // a stored name with no exact form
    ASSERT_TRUE(cab.flush());

    Cab_directory dir = read_cab_directory(destination);
    ASSERT_TRUE(dir.valid);
    ASSERT_EQ(3u, dir.files.size());
    EXPECT_EQ("caf\xe9.txt", dir.files[0].name);
    EXPECT_EQ(5u, dir.files[0].size);
    EXPECT_EQ("UsrTraceFile.qv", dir.files[1].name);
    EXPECT_EQ(8u, dir.files[1].size);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(cyrillic.c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    std::wstring short_name = found.cAlternateFileName;
    EXPECT_EQ(std::string(short_name.begin(), short_name.end()), dir.files[2].name);
    EXPECT_EQ(8u, dir.files[2].size);
}

}  // namespace
