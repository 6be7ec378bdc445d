// Saves documents of every form the XML writer produces into a folder, for the
// script that reads them back with an independent XML reader.
//
//   xml_save <folder>    writes forms.xml, utf8.xml and declaration.xml
#include "xml/qv_xml.h"

#include <shellapi.h>
#include <windows.h>

#include <string>

namespace {

// Every element form: text, attributes only, nothing, children; values and texts
// holding all five escaped characters.
bool save_forms(QV_xml_doc* doc, const std::wstring& path)
{
    if (!doc->create_new())
        return false;
    QV_xml_node* root = doc->root()->add_child(L"root");
    QV_xml_node* text = root->add_child(L"t");
    text->set_attribute(L"k", L"say \"hi\" & <it's>");
    text->set_text(L"x < y & 'z' > \"w\"");
    root->add_child(L"attrs")->set_attribute(L"k", L"v");
    root->add_child(L"empty");
    root->add_child(L"parent")->add_child(L"child")->set_text(L"deep");
    return doc->save_to_file(path.c_str());
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 2)
        return 2;
    std::wstring folder = argv[1];
    LocalFree(argv);
    QV_xml_doc_owner doc(create_xml_doc());
    bool ok = doc && save_forms(doc.get(), folder + L"\\forms.xml");
    ok = ok && doc->load_from_string(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"\xE9\">\x20AC</r>")
         && doc->save_to_file((folder + L"\\utf8.xml").c_str());
    ok = ok && doc->create_new() && doc->save_to_file((folder + L"\\declaration.xml").c_str());
    return ok ? 0 : 1;
}
