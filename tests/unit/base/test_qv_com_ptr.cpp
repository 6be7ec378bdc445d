#include "base/qv_unique.h"

#include <gtest/gtest.h>

#include <unknwn.h>

namespace {

// Counts the references given and given back; never deletes itself.
class Counted final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
    ULONG count = 1;  // the lender's own reference
};

TEST(QvComPtr, CopyOfABorrowedPointerHoldsItsOwnReference)
{
    Counted lent, other;
    {
        QV_com_ptr<IUnknown> held;
        held.copy_from(&lent);
        EXPECT_EQ(2u, lent.count);
        held.copy_from(held.get());  // the pointer it already holds
        EXPECT_EQ(2u, lent.count);
        held.copy_from(&other);  // the old reference goes back
        EXPECT_EQ(1u, lent.count);
        EXPECT_EQ(2u, other.count);
        held.copy_from(nullptr);
        EXPECT_EQ(1u, other.count);
        EXPECT_FALSE(held);
        held.copy_from(&lent);
    }
    EXPECT_EQ(1u, lent.count);  // given back by the destructor
    EXPECT_EQ(1u, other.count);
}

} // namespace
