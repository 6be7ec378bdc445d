#include "qv_child.h"
#include "trace_test_support.h"

#include <map>
#include <vector>

namespace {

class TraceProcesses : public TraceFileTest {};

HANDLE start_writer(const std::wstring& tag, int count)
{
    std::wstring line = qv_command_line(qv_sibling_path(L"trace_writer_child.exe"), {tag, std::to_wstring(count)});
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// "HH:MM:SS [pid] P:pppp,T:tttt trace_writer_child!child: tag i filler\n"
struct Parsed {
    DWORD pid = 0;
    std::wstring tag;
    int index = -1;
};

bool parse(const std::wstring& line, Parsed* out)
{
    size_t open = line.find(L" ["), close = line.find(L"] ");
    if (open != 8 || close == std::wstring::npos)
        return false;
    out->pid = static_cast<DWORD>(std::stoul(line.substr(open + 2, close - open - 2)));
    std::wstring rest;
    if (!qv_strip_stamp(line, out->pid, &rest))
        return false;
    std::wstring head = L"P:" + pad4(out->pid) + L",T:";
    size_t body = rest.find(L" trace_writer_child!child: ");
    if (rest.compare(0, head.size(), head) != 0 || body == std::wstring::npos || rest.back() != L'\n')
        return false;
    std::wstring fields = rest.substr(body + 27, rest.size() - body - 28);
    size_t first = fields.find(L' '), second = fields.find(L' ', first + 1);
    if (first == std::wstring::npos || second == std::wstring::npos)
        return false;
    out->tag = fields.substr(0, first);
    out->index = std::stoi(fields.substr(first + 1, second - first - 1));
    std::wstring filler = fields.substr(second + 1);
    std::wstring expected(static_cast<size_t>((out->index * 37) % 301), static_cast<wchar_t>(L'a' + out->index % 26));
    return filler == expected;
}

TEST_F(TraceProcesses, ConcurrentWritersKeepEveryLineWhole)
{
    constexpr int WRITERS = 4, RECORDS = 1000;
    std::vector<HANDLE> writers;
    for (int w = 0; w < WRITERS; ++w) {
        HANDLE h = start_writer(L"w" + std::to_wstring(w), RECORDS);
        ASSERT_NE(nullptr, h);
        writers.push_back(h);
    }
    for (HANDLE h : writers) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 120000));
        CloseHandle(h);
    }
    std::vector<unsigned char> bytes = qv_read_trace_bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    std::wstring text = qv_read_trace_text();
    EXPECT_EQ(std::wstring::npos, text.find(L'\xFEFF'));  // one mark, at the start only

    std::map<std::wstring, int> next_index;
    std::map<std::wstring, DWORD> pid_of;
    size_t lines = 0;
    for (const std::wstring& line : qv_split_lines(text)) {
        Parsed p;
        ASSERT_TRUE(parse(line, &p)) << "line " << lines << ": " << line;
        if (pid_of.count(p.tag)) {
            EXPECT_EQ(pid_of[p.tag], p.pid);
        }
        pid_of[p.tag] = p.pid;
        EXPECT_EQ(next_index[p.tag], p.index) << p.tag;  // each writer's lines in order, none lost
        next_index[p.tag] = p.index + 1;
        ++lines;
    }
    EXPECT_EQ(static_cast<size_t>(WRITERS * RECORDS), lines);
    for (int w = 0; w < WRITERS; ++w)
        EXPECT_EQ(RECORDS, next_index[L"w" + std::to_wstring(w)]);
}

// What another process and a second record met while the writer held the trace
// file for one record.
struct Held_file {
    static inline int calls = 0;
    static inline DWORD write_open = 0xdeadbeef;
    static inline DWORD read_open = 0xdeadbeef;

    static DWORD open_from_another_process(const wchar_t* mode, const wchar_t* path)
    {
        return qv_run_child(qv_command_line(qv_sibling_path(L"file_open_probe.exe"), {mode, path})).exit_code;
    }
    static void probe(const wchar_t* path)
    {
        ++calls;
        write_open = open_from_another_process(L"write", path);
        read_open = open_from_another_process(L"read", path);
        // A record that is not kept out by the trace mutex (this thread holds it
        // already) meets the open file and is dropped, not mixed into the held one.
        qv_trace_printf(L"nested", L"written while the file is held\n");
    }
};

TEST_F(TraceProcesses, WhileTheWriterHoldsTheFileOthersMayOnlyReadIt)
{
    qv_trace_write(L"before\n");
    qv_trace_file_held_probe = Held_file::probe;
    qv_trace_write(L"held\n");
    qv_trace_file_held_probe = nullptr;
    qv_trace_write(L"after\n");
    EXPECT_EQ(1, Held_file::calls);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Held_file::write_open);
    EXPECT_EQ(0u, Held_file::read_open);
    EXPECT_EQ(L"before\nheld\nafter\n", records());
}

} // namespace
