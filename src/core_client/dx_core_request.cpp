#include "core_client/dx_core_request.h"

#include "base/qv_scramble.h"

#include <new>

core_request::core_request() : doc_(create_xml_doc()), scrambled_(nullptr)
{
    if (!doc_)
        throw std::bad_alloc();
}

void core_request::set_function(const wchar_t* name)
{
    QV_xml_doc* doc = doc_.get();
    if (!doc->create_new())
        throw std::bad_alloc();
    QV_xml_node* function = doc->root()->add_child(L"function");
    if (!function || !function->set_attribute(L"name", name))
        throw std::bad_alloc();
}

void core_request::add_parameter(const wchar_t* name, DWORD value)
{
    QV_xml_node* root = doc_.get()->root();
    QV_xml_node* function = root ? root->child(0, L"function") : nullptr;
    if (!function)
        return;
    QV_xml_node* parameter = function->add_child(L"parameter");
    if (!parameter || !parameter->set_attribute(L"name", name))
        throw std::bad_alloc();
    parameter->set_text(QV_stringf(L"%u", value).c_str());
}

const wchar_t* core_request::scrambled_text()
{
    scrambled_ = nullptr;
    QV_xml_doc* doc = doc_.get();
    wchar_t* text = doc->to_string();
    QV_bstr scrambled;
    qv_scramble_request_text(text, scrambled.put());  // a failure leaves the text null
    doc->free_string(text);
    scrambled_ = QV_string(scrambled.get());
    return scrambled_.c_str();
}
