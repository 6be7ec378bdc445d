// A writer killed midway, as a collect killed by its user or by a crash: what it
// leaves and how the next writer deals with it.
#include "base/qv_unique.h"
#include "cab/qv_cab.h"
#include "cab_test_support.h"
#include "qv_child.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

using Names = std::vector<std::wstring>;

// Sets an environment variable while it lives; children started meanwhile inherit it.
class Scoped_variable {
public:
    Scoped_variable(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        wchar_t old[MAX_PATH + 1];
        DWORD length = GetEnvironmentVariableW(name, old, MAX_PATH + 1);
        had_ = length > 0 && length <= MAX_PATH;
        if (had_)
            old_ = old;
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~Scoped_variable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    std::wstring old_;
    bool had_ = false;
};

// Starts cab_write with the writer's scratch folder (TMP) set to scratch; it stops
// after its adds and sets the event.
QV_handle start_held_writer(const std::wstring& scratch, const std::vector<std::wstring>& args)
{
    std::wstring line = qv_command_line(qv_sibling_path(L"cab_write.exe"), args);
    Scoped_variable tmp(L"TMP", scratch);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return QV_handle();
    CloseHandle(pi.hThread);
    return QV_handle(pi.hProcess);
}

TEST(CabKilledWriter, LeavesNoScratchFilesAndTheNextWriterClearsItsReservation)
{
    Sandbox box(L"killed");
    const std::wstring scratch = box.file(L"tmp");
    const std::wstring archives = box.file(L"out");
    ASSERT_TRUE(CreateDirectoryW(scratch.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(archives.c_str(), nullptr));
    const std::wstring source = box.file(L"trace.qv");
    ASSERT_TRUE(qv_write_file(source, std::string(300000, 't')));  // several blocks: scratch data exists
    const std::wstring cabinet = archives + L"\\trace.cab";

    wchar_t event_name[64];
    swprintf(event_name, 64, L"Local\\qv_cab_write_held_%lu", GetCurrentProcessId());
    QV_handle held(CreateEventW(nullptr, TRUE, FALSE, event_name));
    ASSERT_TRUE(held.valid());
    QV_handle writer = start_held_writer(scratch, {L"-hold", event_name, cabinet, source, L"UsrTraceFile.qv"});
    ASSERT_TRUE(writer.valid());
    HANDLE either[] = {held.get(), writer.get()};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, either, FALSE, 60000)) << "the writer never got to its adds";
    EXPECT_FALSE(qv_folder_entries(scratch).empty()) << "no scratch files while the writer works";
    EXPECT_EQ(Names{L"trace.cab.1.partial"}, qv_folder_entries(archives));

    ASSERT_TRUE(TerminateProcess(writer.get(), 9));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer.get(), 30000));
    EXPECT_EQ(Names{}, qv_folder_entries(scratch));  // removed by the system with the process
    EXPECT_EQ(Names{L"trace.cab.1.partial"}, qv_folder_entries(archives));

    QV_cab_owner next(QV_cab::create(cabinet.c_str(), true, true));
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->add_file(source.c_str(), L"UsrTraceFile.qv"));
    EXPECT_TRUE(next->flush());
    EXPECT_EQ(cabinet, next->archive_path());
    next.reset();
    EXPECT_EQ(Names{L"trace.cab"}, qv_folder_entries(archives));
    EXPECT_EQ(300000u, read_cab_directory(cabinet).files.at(0).size);
}

}  // namespace
