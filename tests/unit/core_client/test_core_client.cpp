#include "core_client_test_support.h"
#include "base/qv_identity.h"
#include "core_client/dx_core_request.h"
#include "qv_descramble.h"
#include "qv_failing_heap.h"
#include "qv_mutex_holder.h"

#include <thread>

namespace {

const wchar_t HAS_NO_CORE[] = L" DX_core_com::create: User has no VlmKdCore - allowing DxCoreCom to create one.\n";
const wchar_t ALREADY_HAS_CORE[] =
    L" DX_core_com::create: User already has VlmKdCore and DxCoreCom would try to create another one. "
    L"FAILING DxCoreCom call!!\n";

struct Names {
    QV_string with_elevation, without_elevation;
};

Names presence_names()
{
    Names names;
    EXPECT_TRUE(DX_core_com::get_mutex_name_strings(&names.with_elevation, &names.without_elevation));
    return names;
}

// True when another thread can take the session mutex at once (and give it back).
bool mutex_free_elsewhere(const wchar_t* name)
{
    bool free = false;
    std::thread([&] {
        QV_mutex mutex(name, false, false);
        free = mutex.wait(0, nullptr);
        if (free)
            mutex.release();
    }).join();
    return free;
}

// Mutex names without their "Local\" prefix, as mutex_holder takes them.
std::wstring bare(const QV_string& name)
{
    return name.c_str();
}

TEST_F(CoreClientTest, PresenceNamesAreThePrefixTheUserSidAndTheElevation)
{
    Names names = presence_names();
    std::wstring without = names.without_elevation.c_str(), with = names.with_elevation.c_str();
    EXPECT_EQ(0u, without.find(L"{2F6B8D31-9C47-4A05-B3E8-71D0A4C6E29F}S-1-5-"));
    ASSERT_EQ(without.size() + 1, with.size());
    EXPECT_EQ(0u, with.find(without));
    EXPECT_TRUE(with.back() == L'0' || with.back() == L'1');
    EXPECT_TRUE(DX_core_com::get_mutex_name_strings(nullptr, nullptr));
}

TEST_F(CoreClientTest, BothPresenceMutexesFreeLetTheClientCreateTheCore)
{
    {
        DX_core_com client(0);
        EXPECT_EQ(0, client.log_on(0));
    }
    EXPECT_TRUE(traced(HAS_NO_CORE));
    auto journal = qv_sim_core_journal();
    ASSERT_EQ(1u, journal.size());
    EXPECT_EQ(L"user", journal[0].object_class);
    EXPECT_EQ(L"log_on", journal[0].function);
    EXPECT_EQ(GetCurrentProcessId(), journal[0].process_id);
    EXPECT_TRUE(journal[0].serial_mutex_owned);
    EXPECT_TRUE(traced(L" DX_core_com::DX_core_com[0](user-mode)\n"));
    EXPECT_TRUE(traced(L" DX_core_com::log_on[0]\n"));
    EXPECT_TRUE(traced(L" DX_core_com::~DX_core_com[0]\n"));
}

BOOL WINAPI failing_token_information(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(CoreClientTest, AnUnreadableSidSkipsTheCheckAndCreationGoesOn)
{
    auto saved = qv_token_information_source;
    qv_token_information_source = failing_token_information;
    QV_string with_elevation(L"untouched");
    EXPECT_FALSE(DX_core_com::get_mutex_name_strings(&with_elevation, nullptr));
    EXPECT_STREQ(L"untouched", with_elevation.c_str());
    LONG result = DX_core_com(0).log_on(0);
    qv_token_information_source = saved;
    EXPECT_EQ(0, result);
    EXPECT_TRUE(traced(L" DX_core_com::get_mutex_name_strings: Unable to get sid\n"));
    EXPECT_FALSE(traced(HAS_NO_CORE));
    EXPECT_EQ(1u, qv_sim_core_journal().size());
}

TEST_F(CoreClientTest, PresenceMutexMatrix)
{
    Names names = presence_names();
    // Which mutex another process holds (or left abandoned), the result, whether
    // the check's lines appear, and whether the request reached the core.
    const struct {
        const QV_string* held;
        const wchar_t* mode;
        LONG result;
        bool has_no_line, already_line;
        size_t requests;
    } cases[] = {
        {&names.with_elevation, L"release", 0, false, false, 1},
        {&names.without_elevation, L"release", CO_E_SERVER_EXEC_FAILURE, false, true, 0},
        {&names.without_elevation, L"abandon", CO_E_SERVER_EXEC_FAILURE, false, true, 0},
        {&names.with_elevation, L"abandon", 0, false, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::wstring(c.held == &names.with_elevation ? L"elevation" : L"user") + L" " + c.mode);
        qv_delete_trace_file();
        qv_sim_core_reset();
        QV_mutex_holder holder(bare(*c.held), c.mode);
        ASSERT_TRUE(holder.ready());
        // A handle of ours keeps the mutex alive after its owner ends.
        QV_mutex keeper(c.held->c_str(), false, false);
        if (std::wstring(c.mode) == L"abandon")
            holder.finish();  // ends owning it
        {
            DX_core_com client(0);
            EXPECT_EQ(c.result, client.log_on(0));
        }
        EXPECT_EQ(c.has_no_line, traced(HAS_NO_CORE));
        EXPECT_EQ(c.already_line, traced(ALREADY_HAS_CORE));
        EXPECT_EQ(c.requests, qv_sim_core_journal().size());
    }
}

TEST_F(CoreClientTest, AnAbandonedPresenceMutexIsNotKeptByTheClient)
{
    Names names = presence_names();
    QV_mutex keeper(names.without_elevation.c_str(), false, false);
    {
        QV_mutex_holder holder(bare(names.without_elevation), L"abandon");
        ASSERT_TRUE(holder.ready());
    }
    DX_core_com client(0);
    EXPECT_EQ(CO_E_SERVER_EXEC_FAILURE, client.log_off(1));
    // Given back at once: another thread (a new core) takes it straight away.
    EXPECT_TRUE(mutex_free_elsewhere(names.without_elevation.c_str()));
    EXPECT_EQ(0, client.log_off(1));
    EXPECT_TRUE(traced(HAS_NO_CORE));
}

// With the n-th allocation failing, for every n up to a run that needs fewer: the
// request ends with E_OUTOFMEMORY, nothing leaves the client, no lock stays held.
TEST_F(CoreClientTest, LowMemoryGivesOutOfMemoryAndHoldsNoLock)
{
    DX_core_com client(0);
    // A handle of ours keeps the lock alive, as a waiting peer's would: a lock
    // closed while still owned would stay owned by this thread.
    QV_mutex keeper(DX_CORE_SERIAL_MUTEX, false, false);
    int n = 0;
    for (bool failed = true; failed && n < 200; ++n) {
        LONG result = 0;
        {
            QV_failing_heap heap(n);
            result = client.log_on(0);
            failed = heap.failed();
        }
        EXPECT_EQ(failed ? E_OUTOFMEMORY : 0, result) << n;
        EXPECT_TRUE(mutex_free_elsewhere(DX_CORE_SERIAL_MUTEX)) << n;
    }
    EXPECT_LT(1, n);
    EXPECT_GT(200, n);
}

// A caller's multi-threaded apartment: our initialisation fails and is traced,
// and the caller's COM stays initialised after us.
TEST_F(CoreClientTest, AFailedInitialisationIsNotUndone)
{
    HRESULT first = E_FAIL, after = E_FAIL;
    std::thread([&] {
        first = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        { DX_core_com client(0); }
        after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still initialised
        CoUninitialize();
        if (after == S_FALSE)
            CoUninitialize();
    }).join();
    EXPECT_EQ(S_OK, first);
    EXPECT_EQ(S_FALSE, after);
    // RPC_E_CHANGED_MODE, the error record right after the message.
    EXPECT_TRUE(traced(L" DX_core_com::DX_core_com: Error in CoInitialize:\nDX_core_com::DX_core_com: Error: 0x80010106"));
}

TEST_F(CoreClientTest, SerialisationMutexHeldElsewhereDelaysTheRequest)
{
    QV_mutex_holder holder(DX_CORE_SERIAL_MUTEX, L"release");
    ASSERT_TRUE(holder.ready());
    LONG result = -1;
    std::thread caller([&] {
        DX_core_com client(0);
        result = client.sync_user_data();
    });
    Sleep(400);
    EXPECT_EQ(0u, qv_sim_core_journal().size()) << "the request went out while another process held the lock";
    holder.finish();
    caller.join();
    EXPECT_EQ(0, result);
    auto journal = qv_sim_core_journal();
    ASSERT_EQ(1u, journal.size());
    EXPECT_TRUE(journal[0].serial_mutex_owned);
    // Released at the end: another thread takes it at once.
    EXPECT_TRUE(mutex_free_elsewhere(DX_CORE_SERIAL_MUTEX));
}

TEST_F(CoreClientTest, TheCoreResultIsReturnedOnSuccess)
{
    qv_sim_core_set_answer({S_OK, 5, L""});
    DX_core_com client(0);
    EXPECT_EQ(5, client.log_on(0));
    qv_sim_core_set_answer({S_FALSE, -7, L""});
    EXPECT_EQ(-7, client.log_off(1));
}

std::wstring system_message(HRESULT hr)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = text ? text : L"";
    LocalFree(text);
    return out;
}

TEST_F(CoreClientTest, FailingHresultsAreTracedWithTheStandardMessage)
{
    std::wstring access_denied = system_message(E_ACCESSDENIED);
    ASSERT_GE(access_denied.size(), 2u);
    ASSERT_EQ(L"\r\n", access_denied.substr(access_denied.size() - 2));
    const struct { HRESULT hr; const wchar_t* description; std::wstring message; } cases[] = {
        {E_ACCESSDENIED, L"the core refused", access_denied.substr(0, access_denied.size() - 2)},
        {static_cast<HRESULT>(0x80040205), L"", L"IDispatch error #5"},
        {static_cast<HRESULT>(0xA0001234), L"described", L"Unknown error 0xA0001234"},
    };
    for (const auto& c : cases) {
        qv_delete_trace_file();
        qv_sim_core_set_answer({c.hr, 99, c.description});
        DX_core_com client(0);
        EXPECT_EQ(c.hr, client.log_on(0));
        wchar_t hex[16];
        swprintf(hex, 16, L"%08X", static_cast<unsigned>(c.hr));
        EXPECT_TRUE(traced(L"call_core: DX_core_disp_iPtr: Caught _com_error exception, hr=" + std::wstring(hex)
                           + L", ErrorMessage='" + c.message + L"'\n"))
            << records();
        // The error information the core left was taken with the error.
        IErrorInfo* left = nullptr;
        EXPECT_EQ(S_FALSE, GetErrorInfo(0, &left));
    }
}

TEST_F(CoreClientTest, StandardComErrorMessages)
{
    // Codes the system has no text for.
    const struct { DWORD code; const wchar_t* text; } cases[] = {
        {0x80040201, L"IDispatch error #1"},
        {0x8004FFFF, L"IDispatch error #65023"},
        {0x80050000, L"Unknown error 0x80050000"},
        {0x20000001, L"Unknown error 0x20000001"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.text, qv_com_error_message(static_cast<HRESULT>(c.code)).c_str()) << std::hex << c.code;
}

TEST_F(CoreClientTest, AnUnregisteredClassFailsCreationAndSendsNothing)
{
    registration_->remove_all();
    DX_core_com client(0);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, client.sync_user_data());
    EXPECT_TRUE(traced(L" DX_core_com::create: Error in CreateInstance:\nDX_core_com::create: Error: 0x80040154"))
        << records();
    EXPECT_EQ(0u, qv_sim_core_journal().size());
}

TEST_F(CoreClientTest, AnEmptyPointerIsReportedAsAComError)
{
    BSTR response = nullptr;
    LONG result = 0x5EED;
    EXPECT_EQ(E_POINTER, DX_core_com::call_core(DX_core_disp_iPtr(), L"x", &response, &result));
    EXPECT_EQ(E_POINTER, DX_core_com::call_core_srv(DX_core_service_disp_iPtr(), L"x", &response, &result));
    EXPECT_EQ(0x5EED, result);
    EXPECT_EQ(nullptr, response);
    EXPECT_TRUE(traced(L"call_core_srv: DX_core_service_disp_iPtr: Caught _com_error exception, hr=80004003, "
                       L"ErrorMessage='" + std::wstring(qv_com_error_message(E_POINTER).c_str()) + L"'\n")) << records();
}

TEST_F(CoreClientTest, ServiceModeCallsTheServiceObjectWithoutCheckOrLock)
{
    DX_core_com client(1);
    EXPECT_EQ(0, client.sync_user_data());
    auto journal = qv_sim_core_journal();
    ASSERT_EQ(1u, journal.size());
    EXPECT_EQ(L"service", journal[0].object_class);
    EXPECT_FALSE(journal[0].serial_mutex_owned);
    EXPECT_FALSE(traced(HAS_NO_CORE));
    EXPECT_TRUE(traced(L" DX_core_com::DX_core_com[0](service)\n"));
}

// The document a request carries, as the core reads it back.
std::wstring descrambled(core_request& request)
{
    std::wstring text;
    const wchar_t* scrambled = request.scrambled_text();
    EXPECT_NE(nullptr, scrambled);
    EXPECT_TRUE(qv_descramble_request_text(scrambled ? scrambled : L"", &text));
    return text;
}

TEST(CoreRequest, DocumentsAfterDescrambling)
{
    core_request request;
    request.add_parameter(L"ignored", 1);  // no function yet: nothing happens
    request.set_function(L"f&<x>");
    request.add_parameter(L"wallet_type", 4294967295u);
    request.add_parameter(L"second", 0);
    EXPECT_EQ(L"\xFEFF<?xml version=\"1.0\"?>\r\n  <function name=\"f&amp;&lt;x&gt;\">\r\n"
              L"    <parameter name=\"wallet_type\">4294967295</parameter>\r\n"
              L"    <parameter name=\"second\">0</parameter>\r\n  </function>\r\n",
              descrambled(request));
    request.set_function(L"again");  // starts a fresh document
    EXPECT_EQ(L"\xFEFF<?xml version=\"1.0\"?>\r\n  <function name=\"again\"></function>\r\n", descrambled(request));
}

} // namespace
