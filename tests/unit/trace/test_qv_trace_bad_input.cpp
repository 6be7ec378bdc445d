#include "trace_test_support.h"

#include <string>

namespace {

using TraceBadInput = TraceFileTest;

TEST_F(TraceBadInput, RecordOfOneMegabyteIsWrittenWhole)
{
    std::wstring big(1 << 20, L'm');
    big[big.size() - 1] = L'Z';
    qv_trace_printf(L"f:g", L"%s\n", big.c_str());
    std::wstring text = records();
    ASSERT_EQ(ids().size() + 6 + big.size() + 1, text.size());
    EXPECT_EQ(ids() + L" f:g: " + big + L"\n", text);
}

TEST_F(TraceBadInput, MarkerAtTheVeryEndIsWrittenUnchanged)
{
    qv_trace_write(L"line\n");
    qv_trace_write(L"password <secret>");
    qv_trace_write(L"\n");
    EXPECT_EQ(L"line\npassword <secret>\n", records());
}

TEST_F(TraceBadInput, UnusableTempFolderDropsTheRecordQuietly)
{
    wchar_t tmp[MAX_PATH] = {}, temp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", L"Q:\\no such drive\\folder\\");
    SetEnvironmentVariableW(L"TEMP", L"Q:\\no such drive\\folder\\");

    SetLastError(0xdeadbeef);
    qv_trace_enter(L"dropped", 0, L"%s", L"x");
    qv_trace_printf(L"dropped", L"y\n");
    EXPECT_EQ(0xdeadbeefu, GetLastError());

    SetEnvironmentVariableW(L"TMP", tmp);
    SetEnvironmentVariableW(L"TEMP", temp);
    qv_trace_write(L"after\n");
    EXPECT_EQ(L"after\n", records());
}

} // namespace
