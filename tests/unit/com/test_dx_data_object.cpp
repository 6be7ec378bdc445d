// The data object's payloads, read back byte for byte and the way shell
// consumers read them: SHGetPathFromIDListW on parent + item, DragQueryFileW.

#include "../trace/trace_test_support.h"

#include "base/qv_unique.h"
#include "com/dx_data_object.h"
#include "qv_failing_heap.h"
#include "qv_platform.h"
#include "qv_test_files.h"
#include "shell/dx_shell_commands.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Paths = std::vector<std::wstring>;

QV_paths list_of(const Paths& texts)
{
    QV_paths paths;
    for (const std::wstring& text : texts)
        paths.add(text.c_str());
    return paths;
}

std::vector<BYTE> idlist_bytes(LPCITEMIDLIST list)
{
    auto* bytes = reinterpret_cast<const BYTE*>(list);
    return std::vector<BYTE>(bytes, bytes + qv_idlist_size(list) + 2);
}

// The ID list that folder (or the desktop) parses from text.
std::vector<BYTE> parsed(const std::wstring& folder, const std::wstring& text)
{
    QV_com_ptr<IShellFolder> shell;
    SHGetDesktopFolder(shell.put());
    if (!folder.empty()) {
        LPITEMIDLIST absolute = nullptr;
        shell->ParseDisplayName(nullptr, nullptr, std::wstring(folder).data(), nullptr, &absolute, nullptr);
        QV_com_ptr<IShellFolder> bound;
        shell->BindToObject(absolute, nullptr, IID_IShellFolder, bound.put_void());
        CoTaskMemFree(absolute);
        shell = bound;
    }
    LPITEMIDLIST list = nullptr;
    if (!shell || FAILED(shell->ParseDisplayName(nullptr, nullptr, std::wstring(text).data(), nullptr, &list, nullptr)))
        return {};
    std::vector<BYTE> bytes = idlist_bytes(list);
    CoTaskMemFree(list);
    return bytes;
}

struct Medium {
    STGMEDIUM medium{};
    ~Medium() { ReleaseStgMedium(&medium); }
    const BYTE* bytes() const { return static_cast<const BYTE*>(GlobalLock(medium.hGlobal)); }
};

UINT at(const BYTE* block, size_t offset)
{
    UINT value = 0;
    std::memcpy(&value, block + offset, 4);
    return value;
}

class DataObject : public TraceFileTest {
protected:
    void SetUp() override
    {
        TraceFileTest::SetUp();
        CoInitialize(nullptr);
        // Not under the temporary folder: the trace file comes and goes there, and
        // the shell's ID lists of a folder carry its time of last change.
        sandbox_ = L"C:\\dx data object " + std::to_wstring(GetCurrentProcessId());
        qv_remove_tree(sandbox_);
        CreateDirectoryW(sandbox_.c_str(), nullptr);
    }
    void TearDown() override
    {
        qv_remove_tree(sandbox_);
        CoUninitialize();
        TraceFileTest::TearDown();
    }

    std::wstring make(const std::wstring& relative)
    {
        std::wstring path = sandbox_ + L"\\" + relative;
        for (size_t slash = relative.find(L'\\'); slash != std::wstring::npos; slash = relative.find(L'\\', slash + 1))
            CreateDirectoryW((sandbox_ + L"\\" + relative.substr(0, slash)).c_str(), nullptr);
        qv_write_file(path, "x");
        return path;
    }

    // GetData for the ID-list array; the block checked against the shell's own
    // lists of folder and the relative names, and resolved back to the paths.
    void expect_array(const Paths& paths, const std::wstring& folder, const Paths& relative)
    {
        SCOPED_TRACE(testing::PrintToString(folder) + " " + testing::PrintToString(relative));
        QV_com_ptr<IDataObject> data;
        data.attach(new DX_data_object(list_of(paths)));
        FORMATETC format{dx_cf_shell_idlist_array, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        Medium got;
        ASSERT_EQ(S_OK, data->GetData(&format, &got.medium));
        EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), got.medium.tymed);
        EXPECT_EQ(nullptr, got.medium.pUnkForRelease);
        const BYTE* block = got.bytes();
        UINT count = static_cast<UINT>(paths.size());
        ASSERT_EQ(count, at(block, 0));
        ASSERT_EQ(4 * count + 8, at(block, 4));
        std::vector<BYTE> expected = parsed(L"", folder);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(expected, idlist_bytes(reinterpret_cast<LPCITEMIDLIST>(block + at(block, 4))));
        UINT end = at(block, 4) + static_cast<UINT>(expected.size());
        for (UINT k = 0; k < count; ++k) {
            auto item = reinterpret_cast<LPCITEMIDLIST>(block + at(block, 8 + 4 * k));
            EXPECT_EQ(end, at(block, 8 + 4 * k)) << "items packed without gaps";
            EXPECT_EQ(parsed(folder, relative[k]), idlist_bytes(item));
            end += qv_idlist_size(item) + 2;
            LPITEMIDLIST full = ILCombine(reinterpret_cast<LPCITEMIDLIST>(block + at(block, 4)), item);
            wchar_t back[MAX_PATH] = {};
            EXPECT_TRUE(SHGetPathFromIDListW(full, back));
            ILFree(full);
            EXPECT_EQ(0, _wcsicmp(paths[k].c_str(), back)) << testing::PrintToString(std::wstring(back));
        }
        EXPECT_EQ(end, GlobalSize(got.medium.hGlobal));
        GlobalUnlock(got.medium.hGlobal);
    }

    std::wstring sandbox_;
};

TEST(CommonParent, IsCutAtComponentBoundaries)
{
    const struct {
        Paths paths;
        const wchar_t* folder;
    } cases[] = {
        {{}, L""},
        {{L"C:\\dir\\file.txt"}, L"C:\\dir"},
        {{L"C:\\a\\x.txt", L"C:\\a\\b\\y.txt"}, L"C:\\a"},
        {{L"C:\\ab\\x", L"C:\\ac\\y"}, L"C:\\"},
        {{L"C:\\Dir\\x", L"c:\\dir\\y"}, L"C:\\Dir"},
        {{L"C:\\x", L"D:\\x"}, L""},
        {{L"C:\\a\\x", L"C:\\a"}, L"C:\\a"},
        {{L"C:\\a\\b\\x", L"C:\\a\\bc\\y", L"C:\\a\\b\\z"}, L"C:\\a"},
        {{L"C:\\file"}, L"C:\\"},
        {{L"file"}, L"file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.folder));
        EXPECT_STREQ(c.folder, DX_data_object::common_parent(list_of(c.paths)).c_str());
    }
}

TEST_F(DataObject, IdListArrays)
{
    std::wstring one = make(L"dir\\file.txt");
    expect_array({one}, sandbox_ + L"\\dir", {L"file.txt"});
    std::wstring x = make(L"a\\x.txt"), y = make(L"a\\b\\y.txt");
    expect_array({x, y}, sandbox_ + L"\\a", {L"x.txt", L"b\\y.txt"});
    std::wstring lower = sandbox_ + L"\\A\\B\\Y.TXT";
    expect_array({x, lower}, sandbox_ + L"\\a", {L"x.txt", L"B\\Y.TXT"});
    // A path that is the common folder itself: the folder's parent holds both.
    std::wstring folder = sandbox_ + L"\\a";
    expect_array({x, folder}, sandbox_, {L"a\\x.txt", L"a"});
}

TEST_F(DataObject, IdListArrayUnderTheRoot)
{
    std::wstring tag = std::to_wstring(GetCurrentProcessId());
    std::wstring first = L"C:\\qvab" + tag, second = L"C:\\qvac" + tag;
    CreateDirectoryW(first.c_str(), nullptr);
    CreateDirectoryW(second.c_str(), nullptr);
    qv_write_file(first + L"\\x", "x");
    qv_write_file(second + L"\\y", "y");
    expect_array({first + L"\\x", second + L"\\y"}, L"C:\\", {first.substr(3) + L"\\x", second.substr(3) + L"\\y"});
    qv_remove_tree(first);
    qv_remove_tree(second);
}

TEST_F(DataObject, NoArrayIsAFailureWithNoMedium)
{
    std::wstring missing = sandbox_ + L"\\missing\\file";
    for (const Paths& paths : {Paths{L"C:\\x", L"Z:\\y"}, Paths{}, Paths{missing}}) {
        QV_com_ptr<IDataObject> data;
        data.attach(new DX_data_object(list_of(paths)));
        FORMATETC format{dx_cf_shell_idlist_array, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        medium.tymed = 0xdeadbeef;
        EXPECT_EQ(E_FAIL, data->GetData(&format, &medium));
        EXPECT_EQ(0xdeadbeefu, medium.tymed);
        EXPECT_EQ(nullptr, medium.hGlobal);
    }
}

// GetData with the n-th allocation failing, for every n up to the first call
// that needs fewer: E_OUTOFMEMORY and the medium as it came, until it succeeds.
TEST_F(DataObject, LowMemoryGivesOutOfMemoryAndNoMedium)
{
    QV_com_ptr<IDataObject> data;
    data.attach(new DX_data_object(list_of({make(L"a\\x.txt"), make(L"a\\b\\y.txt")})));
    for (CLIPFORMAT cf : {dx_cf_shell_idlist_array, static_cast<CLIPFORMAT>(CF_HDROP)}) {
        SCOPED_TRACE(cf);
        FORMATETC format{cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        int n = 0;
        for (bool failed = true; failed && n < 100; ++n) {
            STGMEDIUM medium{};
            medium.tymed = 0xdeadbeef;
            HRESULT hr = S_OK;
            {
                QV_failing_heap heap(n);
                hr = data->GetData(&format, &medium);
                failed = heap.failed();
            }
            if (!failed) {
                EXPECT_EQ(S_OK, hr);
                ReleaseStgMedium(&medium);
                break;
            }
            EXPECT_EQ(E_OUTOFMEMORY, hr) << n;
            EXPECT_EQ(0xdeadbeefu, medium.tymed) << n;
            EXPECT_EQ(nullptr, medium.hGlobal) << n;
        }
        EXPECT_LT(0, n) << "GetData asked the heap for nothing";
        EXPECT_GT(100, n);
    }
}

// The attachment command with the n-th allocation failing ends as quietly as
// after any other failure; whatever it reaches (the extension included) sees
// E_OUTOFMEMORY or nothing.
TEST_F(DataObject, AttachmentCommandEndsQuietlyWhenMemoryRunsOut)
{
    std::wstring note = make(L"note.txt");
    int n = 0;
    for (bool failed = true; failed && n < 200; ++n) {
        QV_failing_heap heap(n);
        dx_shell_open_attachment(false, note.c_str());
        failed = heap.failed();
    }
    EXPECT_LT(1, n);
    EXPECT_GT(200, n);
}

TEST_F(DataObject, DropFilesPayload)
{
    const struct {
        Paths paths;
        std::wstring list;
    } cases[] = {
        {{L"C:\\one.txt"}, std::wstring(L"C:\\one.txt\0\0", 12)},
        {{L"C:\\a\\x", L"D:\\b"}, std::wstring(L"C:\\a\\x\0D:\\b\0\0", 13)},
        {{}, std::wstring(L"\0", 1)},
    };
    for (const auto& c : cases) {
        QV_com_ptr<IDataObject> data;
        data.attach(new DX_data_object(list_of(c.paths)));
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        POINT cursor{};
        GetCursorPos(&cursor);
        Medium got;
        ASSERT_EQ(S_OK, data->GetData(&format, &got.medium));
        ASSERT_EQ(20 + 2 * c.list.size(), GlobalSize(got.medium.hGlobal));
        const BYTE* block = got.bytes();
        EXPECT_EQ(20u, at(block, 0));
        EXPECT_EQ(static_cast<UINT>(cursor.x), at(block, 4));
        EXPECT_EQ(static_cast<UINT>(cursor.y), at(block, 8));
        EXPECT_EQ(1u, at(block, 12));
        EXPECT_EQ(1u, at(block, 16));
        EXPECT_EQ(0, std::memcmp(c.list.data(), block + 20, 2 * c.list.size()));
        GlobalUnlock(got.medium.hGlobal);
        auto drop = static_cast<HDROP>(got.medium.hGlobal);
        if (c.paths.empty()) {
            // Wine's DragQueryFileW reads past a lone NUL: an empty list is read back on Windows only.
            if (!qv_running_on_wine()) {
                EXPECT_EQ(0u, DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
            }
            continue;
        }
        ASSERT_EQ(c.paths.size(), DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
        for (UINT i = 0; i < c.paths.size(); ++i) {
            wchar_t name[MAX_PATH] = {};
            DragQueryFileW(drop, i, name, MAX_PATH);
            EXPECT_EQ(c.paths[i], name);
        }
    }
}

TEST_F(DataObject, AnswersOfEverySlot)
{
    auto* object = new DX_data_object(list_of({L"C:\\x"}));
    IDataObject* data = object;
    const CLIPFORMAT idlist = dx_cf_shell_idlist_array;
    EXPECT_NE(0, idlist);
    EXPECT_EQ(idlist, RegisterClipboardFormatW(L"Shell IDList Array"));
    const struct {
        CLIPFORMAT format;
        DWORD tymed;
        HRESULT query;
        HRESULT get;
    } cases[] = {
        {idlist, TYMED_HGLOBAL, S_OK, E_FAIL},  // no array: C:\x does not exist
        {CF_HDROP, TYMED_HGLOBAL, E_INVALIDARG, S_OK},
        {idlist, TYMED_HGLOBAL | TYMED_ISTREAM, E_INVALIDARG, DV_E_TYMED},
        {CF_HDROP, TYMED_ISTREAM, E_INVALIDARG, DV_E_TYMED},
        {CF_TEXT, TYMED_HGLOBAL, E_INVALIDARG, DV_E_FORMATETC},
    };
    for (const auto& c : cases) {
        FORMATETC format{c.format, nullptr, DVASPECT_CONTENT, -1, c.tymed};
        Medium got;
        EXPECT_EQ(c.query, data->QueryGetData(&format));
        EXPECT_EQ(c.get, data->GetData(&format, &got.medium));
    }
    FORMATETC format{};
    STGMEDIUM medium{};
    EXPECT_EQ(E_NOTIMPL, data->GetDataHere(&format, &medium));
    EXPECT_EQ(E_NOTIMPL, data->GetCanonicalFormatEtc(&format, &format));
    EXPECT_EQ(DV_E_FORMATETC, data->SetData(&format, &medium, FALSE));
    EXPECT_EQ(E_NOTIMPL, data->DAdvise(&format, 0, nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, data->DUnadvise(0));
    EXPECT_EQ(E_NOTIMPL, data->EnumDAdvise(nullptr));
    IEnumFORMATETC* formats = nullptr;
    EXPECT_EQ(E_NOTIMPL, data->EnumFormatEtc(DATADIR_SET, &formats));
    void* factory = nullptr;
    EXPECT_EQ(S_OK, data->QueryInterface(IID_IClassFactory, &factory));
    EXPECT_EQ(static_cast<IClassFactory*>(static_cast<QV_com*>(object)), factory);
    EXPECT_EQ(1u, static_cast<IClassFactory*>(factory)->Release());
    EXPECT_EQ(0u, data->Release());
    std::wstring text = records();
    for (const wchar_t* record : {L" DX_data_object::DX_data_object[0]\n", L" DX_data_object::GetDataHere[0](E_NOTIMPL)\n",
                                  L" DX_data_object::SetData[0](DV_E_FORMATETC)\n",
                                  L" DX_data_object::QueryInterface[0]({00000001-0000-0000-C000-000000000046})\r\n",
                                  L"](0) Dead! \r\n", L" DX_data_object::~DX_data_object[0]\n"})
        EXPECT_NE(std::wstring::npos, text.find(record)) << testing::PrintToString(std::wstring(record));
}

TEST_F(DataObject, FormatsOfferedInOrder)
{
    QV_com_ptr<IDataObject> data;
    data.attach(new DX_data_object(list_of({L"C:\\x"})));
    QV_com_ptr<IEnumFORMATETC> formats;
    ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, formats.put()));
    FORMATETC got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, formats->Next(3, got, &fetched));
    ASSERT_EQ(2u, fetched);
    const CLIPFORMAT expected[] = {dx_cf_shell_idlist_array, CF_HDROP};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(expected[i], got[i].cfFormat);
        EXPECT_EQ(nullptr, got[i].ptd);
        EXPECT_EQ(static_cast<DWORD>(DVASPECT_CONTENT), got[i].dwAspect);
        EXPECT_EQ(-1, got[i].lindex);
        EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), got[i].tymed);
    }
    // The caller's reference is the enumerator's only one: it dies on that Release.
    IEnumFORMATETC* only = formats.detach();
    EXPECT_EQ(2u, only->AddRef());
    EXPECT_EQ(1u, only->Release());
    const std::wstring death = L" DX_enum_format::~DX_enum_format[0]\n";
    EXPECT_EQ(std::wstring::npos, records().find(death));
    EXPECT_EQ(0u, only->Release());
    EXPECT_NE(std::wstring::npos, records().find(death));
}

} // namespace
