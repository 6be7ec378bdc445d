#include "base/qv_guid.h"
#include "trace/qv_interface_association_list.h"
#include "qv_test_files.h"
#include "trace_test_support.h"

#include <unknwn.h>

#include <algorithm>
#include <functional>
#include <cwchar>

namespace {

class TraceRecords : public TraceFileTest {};

std::wstring system_text(DWORD id)
{
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(0x1300, nullptr, id, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = n ? text : L"";
    LocalFree(text);
    return out;
}

TEST_F(TraceRecords, EntryRecords)
{
    qv_trace_enter(L"WinMain", 0);
    qv_trace_enter(L"QV_reg_entry::open_key", 0);
    qv_trace_enter(L"free_fn", 2, L"Key: %s, Value: %d", L"k", 7);
    qv_trace_enter(L"QV_x::m", 0, L"ends with a line feed\n");
    EXPECT_EQ(ids() + L" unit_trace!WinMain[0]\n"
                  + ids() + L" QV_reg_entry::open_key[0]\n"
                  + ids() + L" unit_trace!free_fn[2](Key: k, Value: 7)\n"
                  + ids() + L" QV_x::m[0](ends with a line feed\n)\n",
              records());
}

TEST_F(TraceRecords, LongMessagesAreWrittenWhole)
{
    // 255/256/257 cross the first buffer, 1,000 needs two doublings.
    for (size_t length : {255u, 256u, 257u, 1000u, 5000u}) {
        SCOPED_TRACE(length);
        qv_delete_trace_file();
        qv_trace_reset_writer_state();
        std::wstring message(length, L'm');
        message[length - 1] = L'$';
        qv_trace_enter(L"f", 0, L"%s", message.c_str());
        EXPECT_EQ(ids() + L" unit_trace!f[0](" + message + L")\n", records());
    }
}

TEST_F(TraceRecords, MessageRecords)
{
    qv_trace_printf(L"Dx_shell_dispatch", L"argc = %d\n", 2);
    qv_trace_printf(L"QV_core::call", L"hr = %08x, '%s'\n", 0x80004005u, L"text");
    qv_trace_printf(L"f", L"no arguments, 100%% sure\n");
    EXPECT_EQ(ids() + L" unit_trace!Dx_shell_dispatch: argc = 2\n"
                  + ids() + L" QV_core::call: hr = 80004005, 'text'\n"
                  + ids() + L" unit_trace!f: no arguments, 100% sure\n",
              records());
}

TEST_F(TraceRecords, MessageLongerThanTheSpliceBufferGrows)
{
    std::wstring long_text(3000, L'x');
    qv_trace_printf(L"f", L"%s\n", long_text.c_str());
    EXPECT_EQ(ids() + L" unit_trace!f: " + long_text + L"\n", records());
}

// A module whose file name holds "%" (and is long enough to outgrow the splice
// buffer once the signs are doubled) must print as itself.
TEST_F(TraceRecords, PercentInModuleNameIsWrittenLiterally)
{
    wchar_t system_dir[MAX_PATH];
    GetSystemDirectoryW(system_dir, MAX_PATH);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring base = L"a%sb%n" + std::wstring(150, L'%') + L"z";
    std::wstring copy = std::wstring(temp) + base + L".dll";
    ASSERT_TRUE(CopyFileW((std::wstring(system_dir) + L"\\version.dll").c_str(), copy.c_str(), FALSE));
    HMODULE module = LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, module);
    qv_set_module_handle(module);
    qv_trace_printf(L"f%d", L"x = %d\n", 7);
    qv_trace_enter(L"g", 0);
    qv_trace_query_interface(L"h", 0, &IID_IUnknown);
    qv_set_module_handle(nullptr);
    FreeLibrary(module);
    DeleteFileW(copy.c_str());
    std::wstring text = records();
    EXPECT_EQ(ids() + L" " + base + L"!f%d: x = 7\n" + ids() + L" " + base + L"!g[0]\n" + ids() + L" " + base
                  + L"!h[0]({00000000-0000-0000-C000-000000000046})\r\n",
              text);
}

// A module whose path is exactly `length` characters: folders under the temp
// folder, then a name of 50 "m" and ".dll", copied from a system library.
std::wstring module_copy_of_length(const std::wstring& root, size_t length)
{
    wchar_t system_dir[MAX_PATH];
    GetSystemDirectoryW(system_dir, MAX_PATH);
    const std::wstring name = std::wstring(50, L'm') + L".dll";
    std::wstring folder = root;
    CreateDirectoryW(folder.c_str(), nullptr);
    // Characters left for the folders, each with its backslash; none may be left a lone one.
    size_t left = length - (root.size() + 1 + name.size());
    while (left > 1) {
        size_t part = std::min<size_t>(left - 1, 200);
        if (left - 1 - part == 1)
            --part;
        folder += L"\\" + std::wstring(part, L'd');
        CreateDirectoryW(folder.c_str(), nullptr);
        left -= part + 1;
    }
    std::wstring path = folder + L"\\" + name;
    CopyFileW((std::wstring(system_dir) + L"\\version.dll").c_str(), path.c_str(), FALSE);
    return path;
}

// A path that does not fit 260 characters is asked for again, never cut: a cut
// path would name a folder, or a shorter name, as the module.
TEST_F(TraceRecords, ModulePathsOfAnyLengthGiveTheWholeName)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"qv_long_module";
    for (size_t length : {259u, 260u, 270u, 700u}) {
        SCOPED_TRACE(testing::Message() << "path of " << length << " characters");
        qv_remove_tree(root);
        std::wstring path = module_copy_of_length(root, length);
        ASSERT_EQ(length, path.size());
        HMODULE module = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(nullptr, module);
        qv_delete_trace_file();
        qv_set_module_handle(module);
        qv_trace_enter(L"g", 0);
        qv_trace_printf(L"f", L"x\n");
        qv_trace_query_interface(L"h", 0, &IID_IUnknown);
        qv_set_module_handle(nullptr);
        FreeLibrary(module);
        const std::wstring base(50, L'm');
        EXPECT_EQ(ids() + L" " + base + L"!g[0]\n" + ids() + L" " + base + L"!f: x\n" + ids() + L" " + base
                      + L"!h[0]({00000000-0000-0000-C000-000000000046})\r\n",
                  records());
    }
    qv_remove_tree(root);
}

TEST_F(TraceRecords, UnreadableModuleName)
{
    // A handle no module has: GetModuleFileNameW fails for it.
    qv_set_module_handle(reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x10000)));
    SetLastError(0);
    wchar_t probe[260];
    ASSERT_EQ(0u, GetModuleFileNameW(qv_module_handle(), probe, 260));
    DWORD error = GetLastError();
    ASSERT_NE(0u, error);
    qv_trace_enter(L"f", 0);
    qv_trace_printf(L"g", L"x\n");
    qv_trace_query_interface(L"h", 0, &IID_IUnknown);
    qv_set_module_handle(nullptr);
    wchar_t code[16];
    _snwprintf(code, 16, L"0x%08x", static_cast<unsigned>(error));
    std::wstring text = system_text(error);
    std::wstring error_record =
        L"f: Error: " + std::wstring(code) + (text.empty() ? L"\n" : L" ==> " + text);
    // Only the entry record reports the failure; the others just lose the module part.
    EXPECT_EQ(error_record + ids() + L" f[0]\n" + ids() + L" !g: x\n" + ids()
                  + L" h[0]({00000000-0000-0000-C000-000000000046})\r\n",
              records());
}

TEST_F(TraceRecords, ErrorRecords)
{
    const std::wstring denied = system_text(5);
    ASSERT_FALSE(denied.empty());
    const std::wstring no_memory = system_text(0x8007000E);
    ASSERT_TRUE(system_text(0x12345).empty());  // a code without a system text

    qv_trace_error(L"f", 5);
    qv_trace_error(L"f", 0x8007000E);
    qv_trace_error(L"QV_x::m", 0x00100005);  // bit 20: looked up as 5
    qv_trace_error(L"f", 0x12345);
    std::wstring expected = L"f: Error: 0x00000005 ==> " + denied;
    expected += no_memory.empty() ? L"f: Error: 0x8007000e\n" : L"f: Error: 0x8007000e ==> " + no_memory;
    expected += L"QV_x::m: SpecialError: 0x00100005 ==> " + denied;
    expected += L"f: Error: 0x00012345\n";
    EXPECT_EQ(expected, records());
    EXPECT_EQ(L"\r\n", denied.substr(denied.size() - 2));
}

// Each failure shape writes the pair a caller would write by hand: the message
// record, then the error record with the code (the last error as it was on the
// call), and leaves the last error alone.
TEST_F(TraceRecords, FailureRecordsAreTheMessageThenTheError)
{
    const std::wstring denied = system_text(5);
    struct Case {
        const wchar_t* name;
        DWORD last_error;  // set before the call, and still there after it
        std::function<void()> helper;
        std::wstring expected;
    } cases[] = {
        {L"last error", 5, [] { qv_trace_failed_last_error(L"f", L"OpenX failed: %d\n", 7); },
         ids() + L" unit_trace!f: OpenX failed: 7\nf: Error: 0x00000005 ==> " + denied},
        {L"status", 0xdeadbeef, [] { qv_trace_failed_status(L"QV_x::m", 5, L"Failed to open key: %s\n", L"k"); },
         ids() + L" QV_x::m: Failed to open key: k\nQV_x::m: Error: 0x00000005 ==> " + denied},
        {L"hresult", 0xdeadbeef,
         [] { qv_trace_failed_hresult(L"QV_x::m", static_cast<HRESULT>(0x80070005), L"Error in X:\n"); },
         ids() + L" QV_x::m: Error in X:\nQV_x::m: Error: 0x80070005 ==> " + denied},
        {L"call", 5, [] { qv_trace_failed_call(L"QV_x::m", L"DeleteFileW", L"C:\\a"); },
         ids() + L" QV_x::m: DeleteFileW failed for 'C:\\a'\nQV_x::m: Error: 0x00000005 ==> " + denied},
        {L"call, no path", 5, [] { qv_trace_failed_call(L"f", L"GetTempPathW", nullptr); },
         ids() + L" unit_trace!f: GetTempPathW failed for ''\nf: Error: 0x00000005 ==> " + denied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qv_delete_trace_file();
        qv_trace_reset_writer_state();
        SetLastError(c.last_error);
        c.helper();
        EXPECT_EQ(c.last_error, GetLastError());
        EXPECT_EQ(c.expected, records());
    }
}

TEST_F(TraceRecords, ReferenceRecords)
{
    int object = 0;
    qv_trace_add_ref(L"QV_com::AddRef", &object, 3);
    qv_trace_release(L"QV_com::Release", &object, 3);
    qv_trace_release(L"QV_com::Release", &object, 0);
    qv_trace_add_ref(L"Plain", nullptr, 0);
    std::wstring address = hex_address(&object);
    EXPECT_EQ(ids() + L" QV_com::AddRef[" + address + L"](3)  \r\n"
                  + ids() + L" QV_com::Release[" + address + L"](3)  \r\n"
                  + ids() + L" QV_com::Release[" + address + L"](0) Dead! \r\n"
                  + ids() + L" Plain::AddRef[0000000000000000](0) Dead! \r\n",
              records());
}

TEST_F(TraceRecords, LongClassNameGrowsTheLine)
{
    std::wstring name = std::wstring(600, L'C') + L"::Release";
    qv_trace_release(name.c_str(), nullptr, 1);
    EXPECT_EQ(ids() + L" " + std::wstring(600, L'C') + L"::Release[0000000000000000](1)  \r\n", records());
}

TEST_F(TraceRecords, InterfaceRecords)
{
    const IID unknown_iid = {0xA1B2C3D4, 0xE5F6, 0x0718, {0x29, 0x3A, 0x4B, 0x5C, 0x6D, 0x7E, 0x8F, 0x90}};
    const IID listed_iid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    std::wstring long_name(300, L'N');

    qv_trace_query_interface(L"QV_com::QueryInterface", 0, &unknown_iid);
    qv_interface_associations.add(listed_iid, L"IListed");
    qv_trace_query_interface(L"QV_com::QueryInterface", 0, &listed_iid);
    qv_trace_query_interface(L"CreateInstance", 1, &unknown_iid);
    qv_interface_associations.add(unknown_iid, long_name.c_str());
    qv_interface_associations.add(listed_iid, L"unused");
    qv_trace_query_interface(L"QV_com::QueryInterface", 0, &unknown_iid);
    qv_interface_associations.clear();

    EXPECT_EQ(ids() + L" QV_com::QueryInterface[0]({A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F90})\r\n"
                  + ids() + L" QV_com::QueryInterface[0](IListed)\r\n"
                  + ids() + L" unit_trace!CreateInstance[1]({A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F90})\r\n"
                  + ids() + L" QV_com::QueryInterface[0](" + long_name + L")\r\n",
              records());
}

TEST_F(TraceRecords, ProducersLeaveTheLastErrorAlone)
{
    int object = 0;
    for (bool on : {true, false}) {
        if (!on) {
            qv_clear_trace_switch();
            qv_trace_reset_writer_state();
        }
        SetLastError(0xdeadbeef);
        qv_trace_enter(L"f", 0);
        qv_trace_enter(L"f", 0, L"%d", 1);
        qv_trace_printf(L"f", L"x\n");
        qv_trace_error(L"f", 5);
        qv_trace_add_ref(L"C::AddRef", &object, 1);
        qv_trace_release(L"C::Release", &object, 0);
        qv_trace_query_interface(L"f", 0, &IID_IUnknown);
        EXPECT_EQ(0xdeadbeefu, GetLastError()) << "tracing on: " << on;
    }
}

TEST_F(TraceRecords, RejectedFormatDropsTheRecord)
{
    // A width the formatter cannot honour: -1 at every buffer size and from the
    // sizing call too. Growing until it fits would never end.
    SetLastError(0xdeadbeef);
    qv_trace_printf(L"f", L"%2147483647d\n", 1);
    qv_trace_enter(L"f", 0, L"%2147483647d", 1);
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    qv_trace_printf(L"f", L"after\n");
    EXPECT_EQ(ids() + L" unit_trace!f: after\n", records());
}

} // namespace
