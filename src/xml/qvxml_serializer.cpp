#include "xml/qvxml_serializer.h"

#include "xml/qvxml_entities.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

QVXML_output::~QVXML_output()
{
    std::free(data_);
}

void QVXML_output::grow(size_t n)
{
    if (data_ && n <= capacity_)
        return;
    size_t wanted = capacity_ ? capacity_ : 1024;
    while (wanted < n) {
        if (wanted > (SIZE_MAX / sizeof(wchar_t) - 1) / 4)
            throw std::bad_alloc();
        wanted *= 4;
    }
    void* grown = std::realloc(data_, (wanted + 1) * sizeof(wchar_t));
    if (!grown)
        throw std::bad_alloc();
    data_ = static_cast<wchar_t*>(grown);
    capacity_ = wanted;
}

void QVXML_output::append_blanks(size_t count)
{
    grow(length_ + count);
    for (size_t i = 0; i < count; ++i)
        data_[length_++] = L' ';
}

wchar_t* QVXML_output::release()
{
    grow(length_);  // storage for the terminator, even for an empty text
    data_[length_] = L'\0';
    wchar_t* text = data_;
    data_ = nullptr;
    length_ = capacity_ = 0;
    return text;
}

namespace {

void indent(QVXML_output& out, int depth)
{
    out.append_blanks(static_cast<size_t>(2 * depth));
}

void write_start_tag(const QVXML_node* node, int depth, QVXML_output& out)
{
    indent(out, depth);
    out.append(L'<');
    out.append(node->name());
    for (const QVXML_attrib* a = node->first_attribute(); a; a = a->next_) {
        out.append(L' ');
        out.append(a->name());
        out.append(L"=\"");
        qvxml_append_escaped(out, a->value());
        out.append(L'"');
    }
}

// What follows the attributes of an element without text.
void write_open_content(const QVXML_node* node, int depth, QVXML_output& out)
{
    if (node->is_declaration())
        out.append(L'?');
    out.append(L'>');
    if (node->first_child()) {
        out.append(L"\r\n");
        for (const QVXML_node* c = node->first_child(); c; c = c->next_sibling())
            qvxml_serialize(c, depth + 1, out);
        indent(out, depth);
    } else if (!node->first_attribute()) {
        out.append(L"\r\n");
        indent(out, depth);
    }
}

} // namespace

void qvxml_serialize(const QVXML_node* node, int depth, QVXML_output& out)
{
    write_start_tag(node, depth, out);
    if (*node->text()) {
        out.append(L'>');
        qvxml_append_escaped(out, node->text());
    } else {
        write_open_content(node, depth, out);
    }
    if (node->is_declaration())
        return;
    out.append(L"</");
    out.append(node->name());
    out.append(L">\r\n");
}
