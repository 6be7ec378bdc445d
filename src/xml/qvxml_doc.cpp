#include "xml/qvxml_doc.h"

#include "xml/qvxml_parser.h"
#include "xml/qvxml_serializer.h"

#include <cstdlib>
#include <cstring>
#include <new>

QV_xml_doc* create_xml_doc()
{
    return new (std::nothrow) QVXML_doc;
}

QVXML_doc::QVXML_doc() : heap_(QVXML_heap::create())
{
}

QVXML_doc::~QVXML_doc()
{
    clear();
    qvxml_drop(heap_);
}

void QVXML_doc::free_string(wchar_t* text)
{
    std::free(text);
}

void QVXML_doc::release()
{
    delete this;
}

// The tree's storage stays for the next tree (a load, create_new); clear gives it
// back.
void QVXML_doc::clear()
{
    root_.reset();
    if (heap_)
        heap_->trim();
}

bool QVXML_doc::create_new()
{
    root_.reset();
    root_.reset(QVXML_node::create(L"?xml", heap_));
    return root_ && root_.get()->set_attribute(L"version", L"1.0");
}

bool QVXML_doc::load_from_string(const wchar_t* text)
{
    if (!create_new())
        return false;
    if (!text)
        return true;
    if (*text == 0xFEFF)
        ++text;
    QVXML_parser parser(text);
    if (!parser.parse(root_.get()))
        return false;
    // A text with its own declaration brings the root and its attributes.
    QVXML_node* first = qvxml_node_of(root_.get()->child(0, nullptr));
    if (first && first->is_declaration())
        promote(first);
    return true;
}

// The declaration takes the default root's place. A declaration that closed
// itself ("?/>", "/>") left the elements after it beside it: they move under it
// in order, as if it had stayed open.
void QVXML_doc::promote(QVXML_node* declaration)
{
    QVXML_node* old_root = root_.get();
    old_root->remove_child(declaration);
    while (QV_xml_node* next = old_root->child(0, nullptr)) {
        old_root->remove_child(next);
        declaration->append_child(next);
    }
    root_.reset(declaration);
}

void QVXML_doc::write_with_mark(QVXML_output& out) const
{
    out.append(wchar_t(0xFEFF));
    if (root_)
        qvxml_serialize(root_.get(), 0, out);
}

wchar_t* QVXML_doc::to_string()
{
    QVXML_output out;
    write_with_mark(out);
    return out.release();
}

QV_xml_node* QVXML_doc::root()
{
    return root_.get();
}

bool QVXML_doc::copy(QV_xml_doc* source, QV_xml_doc* target)
{
    if (!target->create_new())
        return false;
    QV_xml_node* from = source->root();
    if (!from)
        return true;
    QV_xml_node* to = target->root();
    return to->copy_children(from, to, nullptr);
}
