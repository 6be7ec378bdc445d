#pragma once
// A document per test, loaded from text and read back as text.

#include "xml/qv_xml.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

inline QV_xml_doc_owner new_doc()
{
    QV_xml_doc_owner doc(create_xml_doc());
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
