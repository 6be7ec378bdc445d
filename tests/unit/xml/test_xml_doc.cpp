#include "xml_test_support.h"

#include <string>

namespace {

const std::wstring EMPTY_DECLARATION = L"<?xml version=\"1.0\"?>";

TEST(XmlDoc, NewDocumentHasNoRootUntilCreateNew)
{
    QV_xml_doc_owner doc = new_doc();
    EXPECT_EQ(nullptr, doc->root());
    EXPECT_EQ(L"", text_of(doc.get()));
    ASSERT_TRUE(doc->create_new());
    EXPECT_STREQ(L"?xml", doc->root()->name());
    EXPECT_STREQ(L"1.0", doc->root()->attribute_value(L"version"));
    doc->clear();
    EXPECT_EQ(nullptr, doc->root());
    doc->free_string(nullptr);
}

TEST(XmlDoc, NullTextIsTheEmptyDeclaration)
{
    QV_xml_doc_owner doc = new_doc();
    EXPECT_TRUE(doc->load_from_string(nullptr));
    EXPECT_EQ(EMPTY_DECLARATION, text_of(doc.get()));
}

// Each text, whether it loads, and the document serialized afterwards (without
// its leading U+FEFF). A failed load keeps the elements completed before it.
struct Parse_case {
    const wchar_t* text;
    bool ok;
    const wchar_t* serialized;
};

const Parse_case PARSE_CASES[] = {
    {L"<a><b x='1'/></a>", true,
     L"<?xml version=\"1.0\"?>\r\n  <a>\r\n    <b x=\"1\"></b>\r\n  </a>\r\n"},
    {L"\xFEFF<a/>", true, L"<?xml version=\"1.0\"?>\r\n  <a>\r\n  </a>\r\n"},
    {L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r k=\"v\">t</r>", true,
     L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n  <r k=\"v\">t</r>\r\n"},
    {L"<?XML version='2' ?><a/><b/>", true, L"<?XML version=\"2\"?>\r\n  <a>\r\n  </a>\r\n  <b>\r\n  </b>\r\n"},
    // A declaration that closes itself still holds the elements after it.
    {L"<?xml version=\"1.0\"?/><a/><b/>", true, L"<?xml version=\"1.0\"?>\r\n  <a>\r\n  </a>\r\n  <b>\r\n  </b>\r\n"},
    {L"<?xml version=\"1.0\"/><a/><b/>", true, L"<?xml version=\"1.0\"?>\r\n  <a>\r\n  </a>\r\n  <b>\r\n  </b>\r\n"},
    {L"<?xml version=\"1.0\"?>", true, L"<?xml version=\"1.0\"?>"},
    {L"<A>x</a>", true, L"<?xml version=\"1.0\"?>\r\n  <A>x</A>\r\n"},
    {L"<a>x</b>", false, L"<?xml version=\"1.0\"?>"},
    {L"<a>hello\r\n   world  </a>", true, L"<?xml version=\"1.0\"?>\r\n  <a>hello   world</a>\r\n"},
    {L"<a>\r\n  x\n  y\r\n</a>", true, L"<?xml version=\"1.0\"?>\r\n  <a>x  y</a>\r\n"},
    {L"<a>x<!-- c -->y</a>", false, L"<?xml version=\"1.0\"?>"},
    {L"<a>x<!-- c --></a>", true, L"<?xml version=\"1.0\"?>\r\n  <a>x</a>\r\n"},
    {L"<!-- lead --><a><!-- c --><b/></a><!---->", true,
     L"<?xml version=\"1.0\"?>\r\n  <a>\r\n    <b>\r\n    </b>\r\n  </a>\r\n"},
    {L"<!--><a/>", true, L"<?xml version=\"1.0\"?>\r\n  <a>\r\n  </a>\r\n"},
    {L"<a/><!-- never closed <b/>", true, L"<?xml version=\"1.0\"?>\r\n  <a>\r\n  </a>\r\n"},
    {L"<a k=\"1>2\"/>", false, L"<?xml version=\"1.0\"?>"},
    {L"<a k='say \"hi\"' j=\"it's\"/>", true,
     L"<?xml version=\"1.0\"?>\r\n  <a k=\"say &quot;hi&quot;\" j=\"it&#39;s\"></a>\r\n"},
    {L"<a k = \"v\r\nw\"\tj\t=\t'&lt;&amp;'/>", true,
     L"<?xml version=\"1.0\"?>\r\n  <a k=\"vw\" j=\"&lt;&amp;\"></a>\r\n"},
    {L"<a/></b><c/>", true, L"<?xml version=\"1.0\"?>\r\n  <a>\r\n  </a>\r\n"},
    {L"<a/><b><c/></b><d>", false,
     L"<?xml version=\"1.0\"?>\r\n  <a>\r\n  </a>\r\n  <b>\r\n    <c>\r\n    </c>\r\n  </b>\r\n"},
    {L"junk<a>t</a >junk", true, L"<?xml version=\"1.0\"?>\r\n  <a>t</a>\r\n"},
    {L"<a>text<b/>more</a>", true, L"<?xml version=\"1.0\"?>\r\n  <a>\r\n    <b>\r\n    </b>\r\n  </a>\r\n"},
    {L"<a>&lt;&#233;&bogus;&amp;amp;</a>", true, L"<?xml version=\"1.0\"?>\r\n  <a>&lt;\xE9&amp;amp;</a>\r\n"},
    {L"<a><b></a>", false, L"<?xml version=\"1.0\"?>"},
    {L"<a>", false, L"<?xml version=\"1.0\"?>"},
    {L"<a k=v/>", false, L"<?xml version=\"1.0\"?>"},
    {L"<a k=\"v\"", false, L"<?xml version=\"1.0\"?>"},
    {L"<a k/>", false, L"<?xml version=\"1.0\"?>"},
    {L"<a / >", false, L"<?xml version=\"1.0\"?>"},
    {L"<a?>x</a>", false, L"<?xml version=\"1.0\"?>"},
    {L"<!DOCTYPE html><a/>", false, L"<?xml version=\"1.0\"?>"},
    {L"<a/><![CDATA[x]]>", false, L"<?xml version=\"1.0\"?>\r\n  <a>\r\n  </a>\r\n"},
    {L"<?pi data?><a/>", false, L"<?xml version=\"1.0\"?>"},
    {L"<", false, L"<?xml version=\"1.0\"?>"},
    {L"", true, L"<?xml version=\"1.0\"?>"},
    {L"no elements at all", true, L"<?xml version=\"1.0\"?>"},
};

TEST(XmlDocParse, TextsLoadAndSerializeAsTheRulesSay)
{
    for (const Parse_case& c : PARSE_CASES) {
        QV_xml_doc_owner doc = new_doc();
        EXPECT_EQ(c.ok, doc->load_from_string(c.text)) << c.text;
        EXPECT_EQ(std::wstring(c.serialized), text_of(doc.get())) << c.text;
    }
}

TEST(XmlDocParse, RoundTripsGiveEqualTreesAndTheSameText)
{
    for (const Parse_case& c : PARSE_CASES) {
        if (!c.ok)
            continue;
        QV_xml_doc_owner first = new_doc(), second = new_doc();
        ASSERT_TRUE(first->load_from_string(c.text));
        wchar_t* text = first->to_string();
        EXPECT_TRUE(second->load_from_string(text)) << c.text;
        first->free_string(text);
        EXPECT_TRUE(first->root()->deep_equals(second->root())) << c.text;
        EXPECT_EQ(text_of(first.get()), text_of(second.get())) << c.text;
    }
}

TEST(XmlDocParse, DeclarationIsNeverClosedAndHoldsWhatFollows)
{
    QV_xml_doc_owner doc = new_doc();
    ASSERT_TRUE(doc->load_from_string(L"<?xml version='1.0' encoding='latin'?><a/><b><c/></b>"));
    QV_xml_node* root = doc->root();
    EXPECT_STREQ(L"latin", root->attribute_value(L"encoding"));
    EXPECT_STREQ(L"a", root->child(0, nullptr)->name());
    EXPECT_STREQ(L"b", root->child(1, nullptr)->name());
    EXPECT_EQ(nullptr, root->parent());
}

std::wstring nested(int depth, const wchar_t* prefix = L"")
{
    std::wstring text = prefix;
    for (int i = 0; i < depth; ++i)
        text += L"<e>";
    text += L"x";
    for (int i = 0; i < depth; ++i)
        text += L"</e>";
    return text;
}

TEST(XmlDocParse, NestingBeyond256LevelsFails)
{
    const struct { int depth; const wchar_t* prefix; bool ok; } cases[] = {
        {256, L"", true}, {257, L"", false}, {256, L"<?xml version='1.0'?>", true},
        {257, L"<?xml version='1.0'?>", false}, {100000, L"", false},
    };
    for (const auto& c : cases) {
        QV_xml_doc_owner doc = new_doc();
        EXPECT_EQ(c.ok, doc->load_from_string(nested(c.depth, c.prefix).c_str())) << c.depth << c.prefix;
        QV_xml_node* deepest = doc->root();
        int levels = 0;
        while (QV_xml_node* next = deepest->child(0, nullptr)) {
            deepest = next;
            ++levels;
        }
        EXPECT_EQ(c.ok ? c.depth : 0, levels);
    }
}

TEST(XmlDocParse, NestedDeclarationsCountAsLevels)
{
    // Only the first declaration becomes the root; each one inside it is an
    // element one level deeper, never closed.
    std::wstring text;
    for (int i = 0; i < 300; ++i)
        text += L"<?xml v='1'?>";
    QV_xml_doc_owner doc = new_doc();
    EXPECT_FALSE(doc->load_from_string(text.c_str()));
}

// The forms the writer produces, built through the node operations.
TEST(XmlDocSerialize, FormsTable)
{
    QV_xml_doc_owner doc = new_doc();
    ASSERT_TRUE(doc->create_new());
    QV_xml_node* root = doc->root();
    QV_xml_node* text = root->add_child(L"a");
    text->set_attribute(L"k", L"v");
    text->set_text(L"text");
    root->add_child(L"a")->set_attribute(L"k", L"v");
    root->add_child(L"a");
    QV_xml_node* parent = root->add_child(L"a");
    parent->add_child(L"b")->set_text(L"<&>");
    QV_xml_node* hidden = root->add_child(L"t");
    hidden->set_text(L"shown");
    hidden->add_child(L"not_written");
    EXPECT_EQ(declaration(L"  <a k=\"v\">text</a>\r\n"
                          L"  <a k=\"v\"></a>\r\n"
                          L"  <a>\r\n  </a>\r\n"
                          L"  <a>\r\n    <b>&lt;&amp;&gt;</b>\r\n  </a>\r\n"
                          L"  <t>shown</t>\r\n"),
              text_of(doc.get()));
}

TEST(XmlDocSerialize, DeclarationWithoutAttributesEndsItsLine)
{
    QV_xml_doc_owner doc = new_doc();
    ASSERT_TRUE(doc->create_new());
    doc->root()->remove_attribute(L"version");
    EXPECT_EQ(L"<?xml?>\r\n", text_of(doc.get()));
}

TEST(XmlDoc, CopyTakesTheSourceElementsUnderAFreshDeclaration)
{
    QV_xml_doc_owner source = new_doc(), target = new_doc(), bystander = new_doc();
    ASSERT_TRUE(source->load_from_string(L"<?xml version='9' x='y'?><a k='1'>t</a><b><c/></b>"));
    ASSERT_TRUE(target->load_from_string(L"<old/>"));
    EXPECT_TRUE(bystander->copy(source.get(), target.get()));
    EXPECT_EQ(nullptr, bystander->root());
    EXPECT_EQ(declaration(L"  <a k=\"1\">t</a>\r\n  <b>\r\n    <c>\r\n    </c>\r\n  </b>\r\n"),
              text_of(target.get()));
    QV_xml_doc_owner rootless = new_doc();
    EXPECT_TRUE(bystander->copy(rootless.get(), target.get()));
    EXPECT_EQ(L"<?xml version=\"1.0\"?>", text_of(target.get()));
}

TEST(XmlDocParse, TenThousandAttributesOnOneElement)
{
    std::wstring text = L"<a";
    for (int i = 0; i < 10000; ++i)
        text += L" attribute" + std::to_wstring(i) + L"='" + std::to_wstring(i) + L"'";
    // Met again, in the same case and in another: the value is replaced, the name kept.
    text += L" attribute5000='again' ATTRIBUTE7000='case'/>";
    QV_xml_doc_owner doc = new_doc();
    ASSERT_TRUE(doc->load_from_string(text.c_str()));
    QV_xml_node* a = doc->root()->child(0, nullptr);
    EXPECT_STREQ(L"again", a->attribute_value(L"attribute5000"));
    EXPECT_STREQ(L"attribute7000", a->attribute(7000, nullptr)->name());
    EXPECT_STREQ(L"case", a->attribute(7000, nullptr)->value());
    EXPECT_STREQ(L"9999", a->attribute(9999, nullptr)->value());
    EXPECT_EQ(nullptr, a->attribute(10000, nullptr));
}

} // namespace
