#include "base/qv_mutex.h"
#include "trace_test_support.h"

#include <thread>

namespace {

class TraceWriter : public TraceFileTest {
protected:
    // Sets the value under HKCU's logging key with any type and data.
    static void set_raw_switch(DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, QV_LOGGING_KEY, &key));
        RegSetValueExW(key, L"EnableUserModeTrace", 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    // Writes one record with a freshly read switch; true when it reached the file.
    bool record_written()
    {
        qv_delete_trace_file();
        qv_trace_reset_writer_state();
        qv_trace_write(L"probe\n");
        return !qv_read_trace_bytes().empty();
    }
};

TEST_F(TraceWriter, OnlyAFourByteDwordOneSwitchesOn)
{
    qv_clear_trace_switch();
    EXPECT_FALSE(record_written());
    set_raw_switch(REG_SZ, L"1", 4);
    EXPECT_FALSE(record_written());
    ULONGLONG qword = 1;
    set_raw_switch(REG_QWORD, &qword, 8);
    EXPECT_FALSE(record_written());
    DWORD one = 1;
    set_raw_switch(REG_BINARY, &one, 4);
    EXPECT_FALSE(record_written());
    DWORD two = 2;
    set_raw_switch(REG_DWORD, &two, 4);
    EXPECT_FALSE(record_written());
    set_raw_switch(REG_DWORD, &one, 4);
    EXPECT_TRUE(record_written());
}

TEST_F(TraceWriter, UserHiveAloneOrMachineAloneSwitchesOn)
{
    // The fixture set HKCU only (a loaded hive under HKEY_USERS).
    EXPECT_TRUE(record_written());
    qv_clear_trace_switch();
    qv_set_trace_switch(HKEY_LOCAL_MACHINE, 1);  // hives without the key fall back to the machine
    EXPECT_TRUE(record_written());
    qv_set_trace_switch(HKEY_LOCAL_MACHINE, 0);
    EXPECT_FALSE(record_written());
}

TEST_F(TraceWriter, NewFileStartsWithByteOrderMarkAndStampedLine)
{
    qv_trace_write(L"one\n");
    qv_delete_trace_file();  // deleted while tracing
    qv_trace_write(L"two\n");
    std::vector<unsigned char> bytes = qv_read_trace_bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    EXPECT_EQ(L"two\n", records());
}

TEST_F(TraceWriter, LinesOfOneRecordShareOneStamp)
{
    qv_trace_write(L"first\nsecond\n");
    std::vector<std::wstring> lines = qv_split_lines(qv_read_trace_text());
    ASSERT_EQ(2u, lines.size());
    std::wstring rest;
    ASSERT_TRUE(qv_strip_stamp(lines[0], GetCurrentProcessId(), &rest));
    size_t stamp_length = lines[0].size() - rest.size();
    EXPECT_EQ(lines[0].substr(0, stamp_length), lines[1].substr(0, stamp_length));
    EXPECT_EQ(L"first\nsecond\n", records());
}

TEST_F(TraceWriter, TextWithoutLineFeedContinuesOnTheNextRecord)
{
    qv_trace_write(L"abc");
    qv_trace_write(L"def\n");
    qv_trace_write(L"");
    qv_trace_write(L"ghi\n");
    std::vector<std::wstring> lines = qv_split_lines(qv_read_trace_text());
    EXPECT_EQ(2u, lines.size());
    EXPECT_EQ(L"abcdef\nghi\n", records());
}

TEST_F(TraceWriter, SecretsAreMasked)
{
    const wchar_t* original = L"k=<secret>123456</secret> tail\n";
    qv_trace_write(original);
    EXPECT_STREQ(L"k=<secret>123456</secret> tail\n", original);  // the caller's text is untouched
    qv_trace_write(L"a<secret>x<secret>yz<b>c\n");
    qv_trace_write(L"ends at the marker<secret>");
    qv_trace_write(L"\n");
    qv_trace_write(L"pw <secret>hunter2\n");  // no "<": the line feed goes too
    qv_trace_write(L"next\n");
    EXPECT_EQ(L"k=<secret>******</secret> tail\n"
              L"a<secret>*<secret>**<b>c\n"
              L"ends at the marker<secret>\n"
              L"pw <secret>********next\n",
              records());
}

TEST_F(TraceWriter, SwitchIsReadAtMostOncePer3000Ms)
{
    qv_clear_trace_switch();
    qv_trace_write(L"dropped\n");  // reads "off"
    qv_set_trace_switch(HKEY_CURRENT_USER, 1);
    Fake_clock::now += 2999;
    qv_trace_write(L"still dropped\n");
    EXPECT_TRUE(qv_read_trace_bytes().empty());
    Fake_clock::now += 1;
    qv_trace_write(L"written\n");
    qv_clear_trace_switch();
    Fake_clock::now += 2999;
    qv_trace_write(L"still written\n");
    Fake_clock::now += 1;
    qv_trace_write(L"dropped again\n");
    EXPECT_EQ(L"written\nstill written\n", records());
}

TEST_F(TraceWriter, CachedOffTouchesNeitherMutexNorFile)
{
    qv_clear_trace_switch();
    qv_trace_write(L"reads the switch\n");
    // Another thread holds the trace mutex: a record that waited for it would hang.
    HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        HANDLE m = qv_create_mutex(L"{7E40A9C5-62D1-4f3b-8C17-B95E03D2A64C}_QVA", false, true);
        SetEvent(holding);
        WaitForSingleObject(done, 10000);
        ReleaseMutex(m);
        CloseHandle(m);
    });
    WaitForSingleObject(holding, INFINITE);
    bool returned = false;
    std::thread writer([&] {
        qv_trace_write(L"dropped\n");
        returned = true;
    });
    Sleep(200);
    EXPECT_TRUE(returned);
    SetEvent(done);
    writer.join();
    holder.join();
    EXPECT_TRUE(qv_read_trace_bytes().empty());
    CloseHandle(holding);
    CloseHandle(done);
}

TEST_F(TraceWriter, FileHeldByAnotherWriterDropsTheRecord)
{
    qv_trace_write(L"kept\n");
    HANDLE other = CreateFileW(qv_trace_file_path().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    SetLastError(0xdeadbeef);
    qv_trace_enter(L"f", 0);
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    CloseHandle(other);
    qv_trace_write(L"after\n");
    EXPECT_EQ(L"kept\nafter\n", records());
}

} // namespace
