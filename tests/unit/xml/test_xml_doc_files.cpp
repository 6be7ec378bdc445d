#include "xml_test_support.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes bytes_of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes utf16_with_mark(const std::wstring& text)
{
    Bytes bytes = {0xFF, 0xFE};
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

class XmlFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        path_ = std::wstring(temp) + L"qv_xml_test_" + std::to_wstring(GetCurrentProcessId()) + L".xml";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    void write(const Bytes& bytes)
    {
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    Bytes read()
    {
        Bytes bytes(1 << 16);
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return {};
        DWORD count = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
        CloseHandle(file);
        bytes.resize(count);
        return bytes;
    }
    // The text of a's element after loading the file, or "<failed>".
    std::wstring load_text_of_a()
    {
        QV_xml_doc_owner doc = new_doc();
        if (!doc->load_from_file(path_.c_str()))
            return L"<failed>";
        QV_xml_node* a = doc->root()->find_descendant(L"a");
        return a ? a->text() : L"<no a>";
    }

    std::wstring path_;
};

TEST_F(XmlFileTest, SavedAsUtf16WithMarkWhateverTheDeclarationSays)
{
    QV_xml_doc_owner doc = new_doc();
    const wchar_t* text = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a k=\"\xE9\">\x20AC</a>";
    ASSERT_TRUE(doc->load_from_string(text));
    ASSERT_TRUE(doc->save_to_file(path_.c_str()));
    EXPECT_EQ(utf16_with_mark(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n  <a k=\"\xE9\">\x20AC</a>\r\n"), read());
    EXPECT_EQ(L"\x20AC", load_text_of_a());
}

TEST_F(XmlFileTest, EncodingsOnLoad)
{
    const struct { Bytes bytes; const wchar_t* text; } cases[] = {
        {utf16_with_mark(L"<a>\x20AC\xE9</a>"), L"\x20AC\xE9"},
        {bytes_of("<?xml version='1.0' encoding='utf-8'?><a>\xC3\xA9\xE2\x82\xAC</a>"), L"\xE9\x20AC"},
        {bytes_of("\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?><a>\xC3\xA9</a>"), L"\xE9"},
        {bytes_of("<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9\x80</a>"), L"\xE9\x20AC"},  // code page 1252
        {bytes_of("<a>\xC3\xA9</a>"), L"\xC3\xA9"},  // no declaration: the ANSI code page
        {bytes_of("<?xml version='1.0' encoding='UTF-8'?><a>x\xFF\xC3y</a>"), L"x\xFFFD\xFFFDy"},  // invalid UTF-8
        {bytes_of(std::string("<a>x</a>\0<b>junk", 16)), L"x"},  // a NUL ends 8-bit text
        {bytes_of(std::string("<a>x\0</a>", 9)), L"<failed>"},
        {utf16_with_mark(std::wstring(L"<a>y</a>\0<b>", 12)), L"y"},
        {{0xFF, 0xFE, 0x3C}, L"<no a>"},  // an odd byte after the mark is dropped
        {{0xFF, 0xFE}, L"<no a>"},        // only the mark: an empty document
        {{}, L"<failed>"},               // an empty file
    };
    for (const auto& c : cases) {
        write(c.bytes);
        EXPECT_EQ(std::wstring(c.text), load_text_of_a()) << "case " << (&c - cases);
    }
}

TEST_F(XmlFileTest, LoadingReadsFromTheStartWhereverTheFilePointerIs)
{
    write(bytes_of("<a>start</a>"));
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFilePointer(file, 5, nullptr, FILE_BEGIN);
    QV_xml_doc_owner doc = new_doc();
    EXPECT_TRUE(doc->load_from_handle(file));
    EXPECT_STREQ(L"start", doc->root()->child(0, L"a")->text());
    CloseHandle(file);
}

TEST_F(XmlFileTest, FilesOfTwoGigabytesOrMoreAreRefused)
{
    // Sparse files: only their size matters, nothing is read.
    for (LONGLONG size : {0x80000000LL, 0x100000001LL}) {
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        LARGE_INTEGER end;
        end.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file));
        QV_xml_doc_owner doc = new_doc();
        EXPECT_FALSE(doc->load_from_handle(file)) << size;
        CloseHandle(file);
    }
}

TEST_F(XmlFileTest, FailuresOfOpeningAndSaving)
{
    QV_xml_doc_owner doc = new_doc();
    EXPECT_FALSE(doc->load_from_file(path_.c_str()));  // missing
    EXPECT_FALSE(doc->load_from_handle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(doc->save_to_file(path_.c_str()));  // no root: no file either
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path_.c_str()));
    ASSERT_TRUE(doc->create_new());
    EXPECT_FALSE(doc->save_to_handle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(doc->save_to_file(L"C:\\no such folder\\x.xml"));
    ASSERT_TRUE(doc->save_to_file(path_.c_str()));
    EXPECT_EQ(utf16_with_mark(L"<?xml version=\"1.0\"?>"), read());
}

} // namespace
