#include "xml/qvxml_serializer.h"

#include "xml/qvxml_entities.h"

namespace {

void indent(std::wstring& out, int depth)
{
    out.append(static_cast<size_t>(2 * depth), L' ');
}

void write_start_tag(const QVXML_node* node, int depth, std::wstring& out)
{
    indent(out, depth);
    out += L'<';
    out += node->name();
    for (const QVXML_attrib* a = node->first_attribute(); a; a = a->next_) {
        out += L' ';
        out += a->name();
        out += L"=\"";
        qvxml_append_escaped(out, a->value());
        out += L'"';
    }
}

// What follows the attributes of an element without text.
void write_open_content(const QVXML_node* node, int depth, std::wstring& out)
{
    if (node->is_declaration())
        out += L'?';
    out += L'>';
    if (node->first_child()) {
        out += L"\r\n";
        for (const QVXML_node* c = node->first_child(); c; c = c->next_sibling())
            qvxml_serialize(c, depth + 1, out);
        indent(out, depth);
    } else if (!node->first_attribute()) {
        out += L"\r\n";
        indent(out, depth);
    }
}

} // namespace

void qvxml_serialize(const QVXML_node* node, int depth, std::wstring& out)
{
    write_start_tag(node, depth, out);
    if (*node->text()) {
        out += L'>';
        qvxml_append_escaped(out, node->text());
    } else {
        write_open_content(node, depth, out);
    }
    if (node->is_declaration())
        return;
    out += L"</";
    out += node->name();
    out += L">\r\n";
}
