#pragma once
// A document per test, loaded from text and read back as text.

#include "xml/qv_xml_doc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

struct Doc_deleter {
    void operator()(QV_xml_doc* doc) const { doc->release(); }
};
using Doc_ptr = std::unique_ptr<QV_xml_doc, Doc_deleter>;

inline Doc_ptr new_doc()
{
    Doc_ptr doc(create_xml_doc());
    EXPECT_NE(nullptr, doc.get());
    return doc;
}

// to_string without its leading U+FEFF, which is checked here.
inline std::wstring text_of(QV_xml_doc* doc)
{
    wchar_t* text = doc->to_string();
    std::wstring out = text;
    doc->free_string(text);
    EXPECT_EQ(L'\xFEFF', out.empty() ? 0 : out[0]);
    return out.empty() ? out : out.substr(1);
}

// A malloc-allocated string handed out by the model, taken over and freed.
inline std::wstring take(wchar_t* text)
{
    std::wstring out = text ? text : L"<null>";
    std::free(text);
    return out;
}

inline std::wstring declaration(const std::wstring& children)
{
    return L"<?xml version=\"1.0\"?>\r\n" + children;
}
