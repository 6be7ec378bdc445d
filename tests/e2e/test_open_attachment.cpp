// -openattachment against the installed desktop integration stand-in: what the
// extension reads from the data object, the verb it is invoked with, and that
// every failure ends silently.

#include "e2e_support.h"
#include "qv_sim_desktop_state.h"
#include "qv_test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Journal = std::vector<std::vector<std::wstring>>;

const wchar_t CLASS_KEY[] = L"Software\\Classes\\CLSID\\{FD3B52D1-B288-4260-A8F7-E882ABD0AE78}";

// Removes the installed registration of the class for one scope and puts it back.
class Class_unregistered {
public:
    Class_unregistered()
    {
        DWORD size = sizeof server_;
        RegGetValueW(HKEY_LOCAL_MACHINE, (std::wstring(CLASS_KEY) + L"\\InprocServer32").c_str(), nullptr,
                     RRF_RT_REG_SZ, nullptr, server_, &size);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, CLASS_KEY);
    }
    ~Class_unregistered()
    {
        HKEY key = nullptr;
        RegCreateKeyW(HKEY_LOCAL_MACHINE, (std::wstring(CLASS_KEY) + L"\\InprocServer32").c_str(), &key);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(server_),
                       static_cast<DWORD>((wcslen(server_) + 1) * sizeof(wchar_t)));
        RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Apartment"),
                       sizeof L"Apartment");
        RegCloseKey(key);
    }
    Class_unregistered(const Class_unregistered&) = delete;
    Class_unregistered& operator=(const Class_unregistered&) = delete;

private:
    wchar_t server_[MAX_PATH] = {};
};

std::vector<std::wstring> methods_of(const Journal& journal)
{
    std::vector<std::wstring> names;
    for (const auto& fields : journal)
        names.push_back(fields[0]);
    return names;
}

class OpenAttachmentE2e : public testing::Test {
protected:
    void SetUp() override
    {
        qv_sim_desktop_reset();
        sandbox_ = qv_fresh_sandbox(L"attachment");
        attachment_ = sandbox_ + L"\\quarterly report.docx";
        qv_write_file(attachment_, "draft");
    }
    void TearDown() override
    {
        qv_remove_tree(sandbox_);
        qv_sim_desktop_reset();
    }

    static void expect_silent(const QV_run_result& run)
    {
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("", run.err);
        EXPECT_TRUE(run.boxes.empty());
    }

    std::wstring sandbox_;
    std::wstring attachment_;
};

TEST_F(OpenAttachmentE2e, ExtensionReadsTheAbsolutePathInBothFormats)
{
    const Journal expected = {
        {L"Initialize", L"null", L"set", L"null"},
        {L"format", L"Shell IDList Array", L"null", L"1", L"-1", L"1"},
        {L"format", L"15", L"null", L"1", L"-1", L"1"},
        {L"query", L"Shell IDList Array", L"00000000"},
        {L"query", L"15", L"80070057"},
        {L"idlist", attachment_},
        {L"hdrop", attachment_},
        {L"InvokeCommand", L"VlmKdAttachmentEdit", L"56"},
        {L"edit", attachment_},
    };
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui ? "GUI build" : "console build");
        qv_sim_desktop_reset();
        // Typed relative to the caller's folder.
        std::vector<std::wstring> args{L"-openattachment", L"quarterly report.docx"};
        expect_silent(gui ? run_gui(args, sandbox_.c_str()) : run_console(args, sandbox_.c_str()));
        EXPECT_EQ(expected, qv_sim_desktop_journal());
    }
}

TEST_F(OpenAttachmentE2e, FailuresEndSilently)
{
    const struct {
        const wchar_t* key;
        const wchar_t* value;
        std::vector<std::wstring> last_two;
    } cases[] = {
        {L"no_context_menu", L"1", {L"idlist", L"hdrop"}},
        {L"invoke_result", L"80004005", {L"InvokeCommand", L"edit"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.key)));
        qv_sim_desktop_reset();
        qv_sim_desktop_answer(c.key, c.value);
        expect_silent(run_console({L"-openattachment", attachment_}));
        std::vector<std::wstring> names = methods_of(qv_sim_desktop_journal());
        ASSERT_LE(2u, names.size());
        EXPECT_EQ(c.last_two, std::vector<std::wstring>(names.end() - 2, names.end()));
    }
    qv_sim_desktop_reset();
    {
        Class_unregistered gone;
        expect_silent(run_console({L"-openattachment", attachment_}));
        expect_silent(run_gui({L"-openattachment", attachment_}));
    }
    EXPECT_TRUE(qv_sim_desktop_journal().empty());
    // The registration is back for the suites after this one.
    expect_silent(run_console({L"-openattachment", attachment_}));
    EXPECT_FALSE(qv_sim_desktop_journal().empty());
}

TEST_F(OpenAttachmentE2e, ReferenceKeptByTheExtensionStaysValid)
{
    qv_sim_desktop_answer(L"keep_reference", L"1");
    expect_silent(run_console({L"-openattachment", attachment_}));
    Journal journal = qv_sim_desktop_journal();
    ASSERT_LE(2u, journal.size());
    // Used after the program gave its own reference back, then released: the last one.
    EXPECT_EQ((std::vector<std::wstring>{L"kept", L"QueryGetData", L"00000000"}), journal[journal.size() - 2]);
    EXPECT_EQ((std::vector<std::wstring>{L"kept", L"Release", L"0"}), journal.back());
}

TEST_F(OpenAttachmentE2e, BadPathsEndSilently)
{
    for (const std::wstring& path : {std::wstring(L"C:"), std::wstring(L"a\"b.txt"), std::wstring(32000, L'p')}) {
        SCOPED_TRACE(path.size());
        qv_sim_desktop_reset();
        expect_silent(run_console({L"-openattachment", path}, sandbox_.c_str()));
        EXPECT_FALSE(qv_sim_desktop_journal().empty());
    }
}

} // namespace
