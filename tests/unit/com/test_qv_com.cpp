// The COM base: reference records, the interfaces it answers, its factory
// answers, and the interface name list the trace consults.

#include "../trace/trace_test_support.h"

#include "com/dx_enum_format.h"
#include "com/qv_com.h"
#include "trace/qv_interface_association_list.h"

#include <gtest/gtest.h>

namespace {

class ComBase : public TraceFileTest {};

void* const SENTINEL = reinterpret_cast<void*>(0xdeadbeef);

TEST_F(ComBase, CountsAreTracedAndTheLastReleaseDestroys)
{
    auto* object = new QV_com;
    const void* address = object;
    EXPECT_EQ(2u, object->AddRef());
    EXPECT_EQ(1u, object->Release());
    EXPECT_EQ(0u, object->Release());
    std::wstring a = hex_address(address);
    EXPECT_EQ(ids() + L" QV_com::QV_com[0]\n"
                  + ids() + L" QV_com::AddRef[" + a + L"](2)  \r\n"
                  + ids() + L" QV_com::Release[" + a + L"](1)  \r\n"
                  + ids() + L" QV_com::Release[" + a + L"](0) Dead! \r\n"
                  + ids() + L" QV_com::~QV_com[0]\n",
              records());
}

TEST_F(ComBase, DerivedObjectAnswersWithOnePartPerInterface)
{
    const FORMATETC none{};
    auto* formats = new DX_enum_format(1, &none);
    QV_com* base = formats;
    struct Case {
        const IID* iid;
        void* expected;
        HRESULT result;
    } cases[] = {
        {&IID_IUnknown, static_cast<IClassFactory*>(base), S_OK},
        {&IID_IClassFactory, static_cast<IClassFactory*>(base), S_OK},
        {&IID_IEnumFORMATETC, static_cast<IEnumFORMATETC*>(formats), S_OK},
        {&IID_IDataObject, nullptr, E_NOINTERFACE},
    };
    ULONG expected_count = 1;
    for (const Case& c : cases) {
        void* out = SENTINEL;
        EXPECT_EQ(c.result, formats->QueryInterface(*c.iid, &out));
        EXPECT_EQ(c.expected, out);
        expected_count += c.result == S_OK;
    }
    EXPECT_EQ(E_POINTER, formats->QueryInterface(IID_IUnknown, nullptr));
    // Every part shares the one count.
    EXPECT_EQ(expected_count + 1, static_cast<IEnumFORMATETC*>(formats)->AddRef());
    EXPECT_EQ(expected_count + 2, base->AddRef());
    for (ULONG left = expected_count + 2; left > 0; --left)
        EXPECT_EQ(left - 1, base->Release());
    EXPECT_NE(std::wstring::npos, records().find(L"DX_enum_format::~DX_enum_format[0]"));
}

TEST_F(ComBase, FactoryHandsOutItselfAndRefusesAggregation)
{
    QV_com* factory = new QV_com;
    void* out = SENTINEL;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    out = SENTINEL;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDataObject, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(static_cast<IClassFactory*>(factory), out);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    EXPECT_EQ(E_NOTIMPL, factory->LockServer(TRUE));
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(0u, factory->Release());
    std::wstring text = records();
    EXPECT_NE(std::wstring::npos, text.find(L" QV_com::CreateInstance[0]({00000000-0000-0000-C000-000000000046})\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L" QV_com::LockServer[0]\n"));
}

TEST(InterfaceAssociationList, LookupNeedsBothHalvesAndTheNewestEntryWins)
{
    QV_interface_association_list list;
    IID low_differs = IID_IUnknown;
    low_differs.Data1 = 1;
    IID high_differs = IID_IUnknown;
    high_differs.Data4[7] = 0x47;
    EXPECT_EQ(nullptr, list.name_of(IID_IUnknown));
    ASSERT_TRUE(list.add(IID_IUnknown, L"old"));
    ASSERT_TRUE(list.add(IID_IUnknown, L"IUnknown"));
    EXPECT_STREQ(L"IUnknown", list.name_of(IID_IUnknown));
    EXPECT_EQ(nullptr, list.name_of(low_differs));
    EXPECT_EQ(nullptr, list.name_of(high_differs));
    list.clear();
    EXPECT_EQ(nullptr, list.name_of(IID_IUnknown));
}

// The process-wide list names interfaces in the records once it holds them.
TEST_F(ComBase, RecordsUseTheProcessList)
{
    qv_interface_associations.add(IID_IClassFactory, L"IClassFactory");
    QV_com* object = new QV_com;
    void* out = nullptr;
    object->QueryInterface(IID_IClassFactory, &out);
    object->Release();
    object->Release();
    qv_interface_associations.clear();
    EXPECT_NE(std::wstring::npos, records().find(L" QV_com::QueryInterface[0](IClassFactory)\r\n"));
}

TEST(EnumFormat, NextSkipReset)
{
    FORMATETC records[2] = {{1, nullptr, 1, -1, 1}, {15, nullptr, 1, -1, 1}};
    auto* formats = new DX_enum_format(2, records);
    FORMATETC got[3] = {};
    ULONG fetched = 0xdeadbeef;
    // One row per call: requested, result, fetched, first format handed out.
    struct Step {
        char call;
        ULONG requested;
        HRESULT result;
        ULONG fetched;
        CLIPFORMAT first;
    } steps[] = {
        {'N', 3, S_FALSE, 2, 1},  {'R', 0, S_OK, 0, 0},      {'N', 1, S_OK, 1, 1},    {'N', 1, S_OK, 1, 15},
        {'N', 1, S_FALSE, 0, 0},  {'R', 0, S_OK, 0, 0},      {'S', 5, S_FALSE, 0, 0}, {'N', 1, S_FALSE, 0, 0},
        {'R', 0, S_OK, 0, 0},     {'S', 1, S_OK, 0, 0},      {'N', 2, S_FALSE, 1, 15}, {'R', 0, S_OK, 0, 0},
        {'S', 2, S_OK, 0, 0},     {'S', 0xFFFFFFFF, S_FALSE, 0, 0}, {'R', 0, S_OK, 0, 0},
        {'S', 1, S_OK, 0, 0},     {'S', 0xFFFFFFFF, S_FALSE, 0, 0}, {'N', 1, S_FALSE, 0, 0},
    };
    int row = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        got[0].cfFormat = 0;
        fetched = 0xdeadbeef;
        if (step.call == 'N') {
            EXPECT_EQ(step.result, formats->Next(step.requested, got, &fetched));
            EXPECT_EQ(step.fetched, fetched);
            EXPECT_EQ(step.first, got[0].cfFormat);
        } else if (step.call == 'S') {
            EXPECT_EQ(step.result, formats->Skip(step.requested));
        } else {
            EXPECT_EQ(step.result, formats->Reset());
        }
    }
    IEnumFORMATETC* clone = reinterpret_cast<IEnumFORMATETC*>(SENTINEL);
    EXPECT_EQ(E_NOTIMPL, formats->Clone(&clone));
    EXPECT_EQ(nullptr, clone);
    EXPECT_EQ(0u, formats->Release());
}

} // namespace
