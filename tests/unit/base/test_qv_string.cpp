#include "base/qv_path.h"
#include "base/qv_string.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

TEST(QvString, DefaultIsAllocatedEmptyText)
{
    QV_string s;
    EXPECT_TRUE(s.is_empty());
    EXPECT_EQ(0u, s.length());
    ASSERT_NE(nullptr, s.c_str());
    EXPECT_EQ(L'\0', s.c_str()[0]);
    EXPECT_TRUE(s.equals(L""));
    EXPECT_FALSE(s.equals(nullptr));
}

TEST(QvString, NullPointerGivesNoText)
{
    QV_string wide(static_cast<const wchar_t*>(nullptr));
    QV_string narrow(static_cast<const char*>(nullptr));
    for (QV_string* s : {&wide, &narrow}) {
        EXPECT_TRUE(s->is_empty());
        EXPECT_EQ(0u, s->length());
        EXPECT_EQ(nullptr, s->c_str());
        EXPECT_FALSE(s->equals(L""));
        EXPECT_TRUE(s->equals(nullptr));
        EXPECT_TRUE(s->differs(QV_string()));
        EXPECT_TRUE(QV_string().differs(*s));
        EXPECT_FALSE(s->differs(QV_string(nullptr)));
        EXPECT_STREQ("", s->narrow());
        EXPECT_EQ(nullptr, s->dup());
    }
    QV_string copy(wide);
    EXPECT_EQ(nullptr, copy.c_str());
}

TEST(QvString, ComparisonsFoldOnlyAsciiLetters)
{
    QV_string abc(L"abc");
    EXPECT_TRUE(abc.equals_no_case(L"ABC"));
    EXPECT_FALSE(abc.equals(L"ABC"));
    EXPECT_FALSE(abc.equals_no_case(L"ABCD"));
    EXPECT_FALSE(abc.equals_no_case(nullptr));
    EXPECT_TRUE(QV_string(L"\u00e9t\u00e9").equals_no_case(L"\u00e9T\u00e9"));
    EXPECT_FALSE(QV_string(L"\u00e9").equals_no_case(L"\u00c9"));  // only A-Z fold
    EXPECT_FALSE(QV_string(L"[").equals_no_case(L"{"));
    EXPECT_FALSE(abc.differs(QV_string(L"abc")));
    EXPECT_TRUE(abc.differs(QV_string(L"abd")));
    EXPECT_TRUE(abc.differs(QV_string(L"ab")));
    EXPECT_TRUE(abc.differs(QV_string(nullptr)));
}

TEST(QvString, SubstringBounds)
{
    QV_string abc(L"abc");
    QV_string out(L"old");
    EXPECT_TRUE(abc.substr(out, 0, 0));
    EXPECT_TRUE(out.equals(L""));

    out.assign(L"old");
    EXPECT_FALSE(QV_string().substr(out, 0, 0));
    EXPECT_TRUE(out.equals(L"old"));
    EXPECT_FALSE(abc.substr(out, 1, 3));
    EXPECT_FALSE(abc.substr(out, 1, 0xFFFFFFFFu));  // would wrap if added
    EXPECT_FALSE(abc.substr_from(out, 3));
    EXPECT_TRUE(out.equals(L"old"));

    EXPECT_TRUE(abc.substr(out, 1, 2));
    EXPECT_TRUE(out.equals(L"bc"));
    EXPECT_TRUE(abc.substr_from(out, 2));
    EXPECT_TRUE(out.equals(L"c"));
}

TEST(QvString, ConcatenationTreatsNullAsNothing)
{
    QV_string s(L"ab");
    QV_string returned = (s += static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(s.equals(L"ab"));
    EXPECT_TRUE(returned.equals(L"ab"));
    EXPECT_NE(returned.c_str(), s.c_str());

    returned = (s += "cd");
    EXPECT_TRUE(s.equals(L"abcd"));
    EXPECT_TRUE(returned.equals(L"abcd"));
    s += QV_string(nullptr);
    EXPECT_TRUE(s.equals(L"abcd"));

    QV_string none(nullptr);
    none += L"x";
    EXPECT_TRUE(none.equals(L"x"));
    EXPECT_TRUE((QV_string(L"a") + L"b").equals(L"ab"));
    EXPECT_TRUE((QV_string(nullptr) + "b").equals(L"b"));
    EXPECT_TRUE((QV_string(L"a") + QV_string(L"\u20ac")).equals(L"a\u20ac"));
}

TEST(QvString, AssignmentKeepsSelfAndOldNarrowCopy)
{
    QV_string s(L"first");
    const char* old = s.narrow();
    s = QV_string(L"second");
    EXPECT_STREQ("first", old);
    EXPECT_STREQ("second", s.narrow());

    s.assign(s);
    EXPECT_TRUE(s.equals(L"second"));
    s.assign(s.c_str());
    EXPECT_TRUE(s.equals(L"second"));
    s.assign(static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(nullptr, s.c_str());
}

TEST(QvString, NarrowUsesAnsiCodePage)
{
    ASSERT_EQ(1252u, GetACP()) << "these expectations are for code page 1252";
    QV_string euro(L"\u20ac \u00e9");
    EXPECT_STREQ("\x80 \xe9", euro.narrow());
    QV_string outside(L"a\u4e2db");  // not in 1252: the system's default character
    EXPECT_STREQ("a?b", outside.narrow());
    QV_string widened("\x80");
    EXPECT_TRUE(widened.equals(L"\u20ac"));
}

TEST(QvString, DupIsAnIndependentCopy)
{
    QV_string s(L"text");
    wchar_t* copy = s.dup();
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(copy, s.c_str());
    EXPECT_EQ(0, wcscmp(copy, L"text"));
    delete[] copy;
}

TEST(QvStringf, FollowsRuntimePrintfConventions)
{
    EXPECT_TRUE(QV_stringf(L"%s|%S|%d|%08X", L"w", "n", -5, 0xBEEFu).equals(L"w|n|-5|0000BEEF"));
    EXPECT_TRUE(QV_stringf("%s=%ld", "k", 7L).equals(L"k=7"));
    EXPECT_TRUE(QV_stringf(L"%p", reinterpret_cast<void*>(0x1234)).equals(L"0000000000001234"));
    EXPECT_TRUE(QV_stringf("\x80%s", "\xe9").equals(L"\u20ac\u00e9"));
    QV_stringf from_null(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(from_null.equals(L""));
}

TEST(QvStringf, GrowsWithoutBound)
{
    std::wstring big(10000, L'x');
    big[9999] = L'z';
    QV_stringf wide(L"%s", big.c_str());
    EXPECT_EQ(10000u, wide.length());
    EXPECT_TRUE(wide.equals(big.c_str()));

    std::string big8(100000, 'y');
    QV_stringf narrow("<%s>", big8.c_str());
    EXPECT_EQ(100002u, narrow.length());
    EXPECT_EQ(L'>', narrow.c_str()[100001]);
}


// Every buffer a string owns must be zero when it is handed back to the heap. The
// heap under the strings keeps each block it gave out and, when the block comes
// back, looks at all of its bytes: whatever path releases a buffer is seen here,
// and a block that never comes back through the heap stays on the list.
struct Watched_heap {
    static inline std::map<const void*, size_t>* live = nullptr;
    static inline std::vector<size_t>* dirty = nullptr;  // sizes of blocks released with text in them
    static inline size_t released = 0;

    static void* allocate(size_t bytes)
    {
        void* block = ::operator new(bytes);
        (*live)[block] = bytes;
        return block;
    }
    static void release(void* block)
    {
        auto found = live->find(block);
        if (found != live->end()) {
            const unsigned char* p = static_cast<const unsigned char*>(block);
            if (std::any_of(p, p + found->second, [](unsigned char b) { return b != 0; }))
                dirty->push_back(found->second);
            live->erase(found);
            ++released;
        }
        ::operator delete(block);
    }
};

TEST(QvString, EveryReleasedBufferIsZeroed)
{
    std::map<const void*, size_t> live;
    std::vector<size_t> dirty;
    Watched_heap::live = &live;
    Watched_heap::dirty = &dirty;
    Watched_heap::released = 0;
    QV_string_heap saved = qv_string_heap;
    qv_string_heap = {Watched_heap::allocate, Watched_heap::release};
    {
        QV_string secret(L"password");
        secret.narrow();
        secret.narrow();
        secret += L"-more";
        secret += "-narrow";
        secret = QV_string(L"other");
        QV_string moved(std::move(secret));
        QV_string part;
        moved.substr(part, 1, 2);
        QV_stringf formatted(L"%s and %S", L"key", "material");
        QV_stringf formatted8("%s", "narrow");
        QV_string joined = formatted + L" " + QV_string("wide");
        QV_path path(L"C:\\keys\\secret.key");
        QV_path parent = path.parent().join(L"other.key");
        QV_path name = path.file_name();
    }
    qv_string_heap = saved;
    Watched_heap::live = nullptr;
    Watched_heap::dirty = nullptr;
    EXPECT_GE(Watched_heap::released, 20u);
    EXPECT_TRUE(live.empty()) << live.size() << " buffers never came back through the string heap";
    EXPECT_TRUE(dirty.empty()) << dirty.size() << " buffers released with text in them, the first of "
                               << (dirty.empty() ? 0 : dirty[0]) << " bytes";
}

} // namespace
