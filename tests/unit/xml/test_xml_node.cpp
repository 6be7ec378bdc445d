#include "xml_test_support.h"
#include "xml/qvxml_buffer.h"

#include <string>
#include <vector>

namespace {

class XmlNodeTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(doc->create_new()); }
    QV_xml_node* root() { return doc->root(); }
    // Builds children of root from "name" or "name=value" of attribute id.
    QV_xml_node* add(QV_xml_node* parent, const wchar_t* name, const wchar_t* id = nullptr)
    {
        QV_xml_node* node = parent->add_child(name);
        EXPECT_NE(nullptr, node);
        if (id)
            node->set_attribute(L"id", id);
        return node;
    }
    QV_xml_doc_owner doc = new_doc();
};

TEST_F(XmlNodeTest, SetAttributeReplacesByNameIgnoringCaseAndKeepsTheStoredName)
{
    QV_xml_node* a = add(root(), L"a");
    EXPECT_TRUE(a->set_attribute(L"name", L"y"));
    EXPECT_TRUE(a->set_attribute(L"Name", L"x"));
    ASSERT_NE(nullptr, a->attribute(0, nullptr));
    EXPECT_EQ(nullptr, a->attribute(1, nullptr));
    EXPECT_STREQ(L"name", a->attribute(0, nullptr)->name());
    EXPECT_STREQ(L"x", a->attribute_value(L"NAME"));
    EXPECT_STREQ(L"", a->attribute_value(L"missing"));
}

TEST_F(XmlNodeTest, AttributeByIndexAmongNamesOrAll)
{
    QV_xml_node* a = add(root(), L"a");
    a->set_attribute(L"k", L"1");
    a->set_attribute(L"j", L"2");
    a->set_attribute(L"k2", L"3");
    EXPECT_STREQ(L"2", a->attribute(1, nullptr)->value());
    EXPECT_STREQ(L"1", a->attribute(0, L"K")->value());
    EXPECT_EQ(nullptr, a->attribute(1, L"k"));
    EXPECT_EQ(nullptr, a->attribute(3, nullptr));
}

TEST_F(XmlNodeTest, ParsedAttributeOfTheSameNameOverwritesTheFirst)
{
    ASSERT_TRUE(doc->load_from_string(L"<a k='1' j='2' K='3'/>"));
    QV_xml_node* a = root()->child(0, nullptr);
    ASSERT_NE(nullptr, a);
    EXPECT_STREQ(L"k", a->attribute(0, nullptr)->name());
    EXPECT_STREQ(L"3", a->attribute(0, L"K")->value());
    EXPECT_STREQ(L"j", a->attribute(1, nullptr)->name());
    EXPECT_EQ(nullptr, a->attribute(2, nullptr));
}

TEST_F(XmlNodeTest, RemoveAttributeUnlinksFromAnyPosition)
{
    QV_xml_node* a = add(root(), L"a");
    for (const wchar_t* name : {L"p", L"q", L"r", L"s"})
        a->set_attribute(name, name);
    a->remove_attribute(L"Q");
    a->remove_attribute(L"p");
    a->remove_attribute(L"s");
    a->remove_attribute(L"none");
    ASSERT_NE(nullptr, a->attribute(0, nullptr));
    EXPECT_STREQ(L"r", a->attribute(0, nullptr)->name());
    EXPECT_EQ(nullptr, a->attribute(1, nullptr));
    a->set_attribute(L"t", L"t");
    EXPECT_STREQ(L"t", a->attribute(1, nullptr)->name());
}

TEST_F(XmlNodeTest, TextsStoredAsGivenOrDecoded)
{
    QV_xml_node* a = add(root(), L"a");
    a->set_text(L"&lt;x&gt;");
    EXPECT_STREQ(L"&lt;x&gt;", a->text());
    a->set_text_escaped(L"&lt;x&gt;");
    EXPECT_STREQ(L"<x>", a->text());
    a->set_attribute_escaped(L"v", L"&quot;q&quot;");
    EXPECT_STREQ(L"\"q\"", a->attribute_value(L"v"));
    QVXML_buffer out;
    a->escaped_text(out);
    EXPECT_STREQ(L"&lt;x&gt;", out.c_str());
}

TEST_F(XmlNodeTest, InnerTextIsOwnTextElseChildrenJoined)
{
    QV_xml_node* t = add(root(), L"t");
    t->set_text(L"t");
    add(t, L"c")->set_text(L"hidden");
    QV_xml_node* joined = add(root(), L"j");
    add(joined, L"a")->set_text(L"a");
    add(add(joined, L"x"), L"b")->set_text(L"b");
    EXPECT_EQ(L"t", take(t->inner_text()));
    EXPECT_EQ(L"ab", take(joined->inner_text()));
    EXPECT_EQ(L"", take(add(root(), L"e")->inner_text()));
}

TEST_F(XmlNodeTest, ChildLookupsByIndexNameAndAttribute)
{
    add(root(), L"a", L"1");
    add(root(), L"b", L"2");
    add(root(), L"A", L"3");
    add(root(), L"c");
    EXPECT_STREQ(L"3", root()->child(1, L"a")->attribute_value(L"id"));
    EXPECT_STREQ(L"b", root()->child(1, nullptr)->name());
    EXPECT_EQ(nullptr, root()->child(2, L"a"));
    EXPECT_STREQ(L"b", root()->find_child_by_attribute(L"ID", L"2")->name());
    EXPECT_STREQ(L"c", root()->find_child_by_attribute(L"id", L"")->name());  // missing matches empty
    EXPECT_EQ(nullptr, root()->find_child_by_attribute(L"id", L"9"));
}

TEST_F(XmlNodeTest, FindDescendantIsDepthFirstPreOrder)
{
    QV_xml_node* a = add(root(), L"a");
    add(add(a, L"deep"), L"x", L"first");
    add(root(), L"x", L"second");
    EXPECT_STREQ(L"first", root()->find_descendant(L"X")->attribute_value(L"id"));
    EXPECT_EQ(nullptr, root()->find_descendant(L""));
    EXPECT_EQ(nullptr, root()->find_descendant(nullptr));
    EXPECT_EQ(nullptr, root()->find_descendant(L"?xml"));  // the node itself is not searched
}

TEST_F(XmlNodeTest, RemoveChildDetachesWithoutDestroying)
{
    QV_xml_node* first = add(root(), L"first");
    QV_xml_node* second = add(root(), L"second");
    add(root(), L"third");
    QV_xml_node* stranger = add(second, L"stranger");
    root()->remove_child(stranger);  // not a child of root: nothing happens
    EXPECT_EQ(second, stranger->parent());
    root()->remove_child(first);
    EXPECT_EQ(second, root()->child(0, nullptr));
    EXPECT_EQ(nullptr, first->parent());
    EXPECT_EQ(nullptr, first->child(0, nullptr));
    second->append_child(first);  // attached elsewhere, last
    EXPECT_EQ(first, second->child(1, nullptr));
    EXPECT_EQ(second, first->parent());
    root()->remove_child(second);
    second->destroy();
    EXPECT_STREQ(L"third", root()->child(0, nullptr)->name());
    EXPECT_EQ(nullptr, root()->child(1, nullptr));
    // Removing the last child: the next one appended follows the one before it.
    QV_xml_node* third = root()->child(0, nullptr);
    QV_xml_node* fourth = add(root(), L"fourth");
    root()->remove_child(fourth);
    fourth->destroy();
    add(root(), L"fifth");
    EXPECT_EQ(third, root()->child(0, nullptr));
    EXPECT_STREQ(L"fifth", root()->child(1, nullptr)->name());
    root()->remove_child(third);
    third->destroy();
    add(root(), L"sixth");
    EXPECT_STREQ(L"fifth", root()->child(0, nullptr)->name());
    EXPECT_STREQ(L"sixth", root()->child(1, nullptr)->name());
}

// A detached element belongs to its caller, who may keep it past its document's
// end, move it into another document and grow its texts there.
TEST(XmlNodeOwnership, DetachedElementOutlivesItsDocument)
{
    QV_xml_doc_owner first = new_doc(), second = new_doc();
    ASSERT_TRUE(first->load_from_string(L"<a k='v'>text</a><b/>"));
    ASSERT_TRUE(second->create_new());
    QV_xml_node* a = first->root()->child(0, nullptr);
    first->root()->remove_child(a);
    first.reset();
    second->root()->append_child(a);
    a->set_text(std::wstring(5000, L't').c_str());
    a->set_attribute(L"K", std::wstring(300, L'w').c_str());
    a->add_child(L"c")->set_text(L"inside");
    EXPECT_EQ(declaration(L"  <a k=\"" + std::wstring(300, L'w') + L"\">" + std::wstring(5000, L't') + L"</a>\r\n"),
              text_of(second.get()));
    second.reset();  // the element ends with the tree it joined
}

TEST_F(XmlNodeTest, Paths)
{
    QV_xml_node* a1 = add(root(), L"a", L"a1");
    add(add(a1, L"b", L"b1"), L"x");
    QV_xml_node* a2 = add(root(), L"a", L"a2");
    QV_xml_node* c = add(add(a2, L"b", L"b2"), L"c", L"c2");
    // path, follow_path result's id (or "-" for null, "self" for root), find_path result's id
    const struct { const wchar_t* path; const wchar_t* follow; const wchar_t* find; } cases[] = {
        {L"a/b", L"b1", L"b1"},
        {L"a/b/c", L"-", L"c2"},   // only find_path tries the second a
        {L"A/B/C", L"-", L"c2"},
        {L"", L"self", L"self"},
        {L"/", L"self", L"self"},
        {L"/a//b/", L"b1", L"b1"},  // empty pieces are skipped
        {L"a//b//c", L"-", L"c2"},
        {L"z", L"-", L"-"},
        {L"a/b/c/d", L"-", L"-"},
    };
    auto id = [&](QV_xml_node* n) -> std::wstring {
        return !n ? L"-" : n == root() ? L"self" : n->attribute_value(L"id");
    };
    for (const auto& t : cases) {
        EXPECT_EQ(t.follow, id(root()->follow_path(t.path))) << t.path;
        EXPECT_EQ(t.find, id(root()->find_path(t.path))) << t.path;
    }
    EXPECT_EQ(c, root()->find_path(L"a/b/c"));
}

TEST_F(XmlNodeTest, CloneAndCopyChildren)
{
    QV_xml_node* source = add(root(), L"s");
    QV_xml_node* kept = add(source, L"keep", L"1");
    kept->set_text(L"&text");
    add(kept, L"inner")->set_attribute(L"k", L"v");
    add(source, L"skip", L"2");
    add(source, L"KEEP", L"3");
    QV_xml_node* target = add(root(), L"t");
    EXPECT_TRUE(root()->copy_children(source, target, L"keep"));
    ASSERT_NE(nullptr, target->child(1, nullptr));
    EXPECT_EQ(nullptr, target->child(2, nullptr));
    EXPECT_TRUE(target->child(0, nullptr)->deep_equals(kept));
    EXPECT_STREQ(L"&text", target->child(0, nullptr)->text());
    EXPECT_STREQ(L"KEEP", target->child(1, nullptr)->name());

    QV_xml_node* clone = root()->clone_into(kept, target);
    EXPECT_EQ(target, clone->parent());
    EXPECT_FALSE(clone->has_children());  // children are not cloned
    EXPECT_TRUE(clone->equals(kept));
}

TEST_F(XmlNodeTest, EqualityComparesNamesAndAttributesByPosition)
{
    QV_xml_node* a = add(root(), L"n");
    QV_xml_node* b = add(root(), L"N");
    a->set_attribute(L"x", L"1");
    b->set_attribute(L"X", L"1");
    a->set_text(L"one");
    b->set_text(L"two");
    EXPECT_TRUE(a->equals(b));  // texts are not compared
    EXPECT_FALSE(a->differs(b));
    EXPECT_FALSE(a->equals(nullptr));
    EXPECT_TRUE(a->deep_equals(b));
    add(a, L"c");
    EXPECT_FALSE(a->deep_equals(b));  // other has fewer children
    EXPECT_FALSE(b->deep_equals(a));  // other has a further child
    add(b, L"c");
    EXPECT_TRUE(b->deep_equals(a));
    b->set_attribute(L"y", L"2");
    EXPECT_TRUE(a->differs(b));
    a->set_attribute(L"y", L"3");
    EXPECT_FALSE(a->equals(b));
}

} // namespace
