// Children of an element: lookups, paths, copies and comparison.
#include "xml/qvxml_node.h"

#include <cwchar>

namespace {

// The next piece of a path at or after *path (empty pieces skipped); false when
// none is left. *path moves to the text after the piece.
bool next_piece(const wchar_t** path, const wchar_t** piece, size_t* length)
{
    const wchar_t* p = *path;
    while (*p == L'/')
        ++p;
    if (!*p)
        return false;
    const wchar_t* end = p;
    while (*end && *end != L'/')
        ++end;
    *piece = p;
    *length = static_cast<size_t>(end - p);
    *path = end;
    return true;
}

// The index-th child of node named like the piece, or null.
QVXML_node* child_named(const QVXML_node* node, const wchar_t* piece, size_t length, unsigned index)
{
    for (const QVXML_node* c = node->first_child(); c; c = c->next_sibling()) {
        if (qvxml_equals_no_case(c->name(), piece, length) && index-- == 0)
            return const_cast<QVXML_node*>(c);
    }
    return nullptr;
}

} // namespace

bool QVXML_node::has_children() const
{
    return first_child_ != nullptr;
}

QV_xml_node* QVXML_node::child(unsigned index, const wchar_t* name) const
{
    for (QVXML_node* c = first_child_; c; c = c->next_sibling_) {
        if ((!name || c->name_.equals_no_case(name)) && index-- == 0)
            return c;
    }
    return nullptr;
}

QV_xml_node* QVXML_node::find_descendant(const wchar_t* name) const
{
    if (!name || !*name)
        return nullptr;
    for (QVXML_node* c = first_child_; c; c = c->next_sibling_) {
        if (c->name_.equals_no_case(name))
            return c;
        if (QV_xml_node* found = c->find_descendant(name))
            return found;
    }
    return nullptr;
}

QV_xml_node* QVXML_node::add_child(const wchar_t* name)
{
    QVXML_node* node = create(name, heap_);
    if (node)
        append_child(node);
    return node;
}

void QVXML_node::append_child(QV_xml_node* node)
{
    QVXML_node* fresh = qvxml_node_of(node);
    fresh->next_sibling_ = nullptr;
    fresh->parent_ = this;
    (last_child_ ? last_child_->next_sibling_ : first_child_) = fresh;
    last_child_ = fresh;
}

void QVXML_node::remove_child(QV_xml_node* node)
{
    QVXML_node* previous = nullptr;
    for (QVXML_node** link = &first_child_; *link; previous = *link, link = &(*link)->next_sibling_) {
        if (*link != node)
            continue;
        QVXML_node* found = *link;
        *link = found->next_sibling_;
        if (last_child_ == found)
            last_child_ = previous;
        found->next_sibling_ = nullptr;
        found->parent_ = nullptr;
        return;
    }
}

QV_xml_node* QVXML_node::find_child_by_attribute(const wchar_t* name, const wchar_t* value) const
{
    for (QVXML_node* c = first_child_; c; c = c->next_sibling_) {
        if (qvxml_compare_no_case(c->attribute_value(name), value) == 0)
            return c;
    }
    return nullptr;
}

QV_xml_node* QVXML_node::follow_path(const wchar_t* path)
{
    QVXML_node* node = this;
    const wchar_t* piece = nullptr;
    size_t length = 0;
    while (node && path && next_piece(&path, &piece, &length))
        node = child_named(node, piece, length, 0);
    return node;
}

QV_xml_node* QVXML_node::find_path(const wchar_t* path)
{
    const wchar_t* piece = nullptr;
    size_t length = 0;
    if (!path || !next_piece(&path, &piece, &length))
        return this;
    for (unsigned i = 0;; ++i) {
        QVXML_node* candidate = child_named(this, piece, length, i);
        if (!candidate)
            return nullptr;
        if (QV_xml_node* found = candidate->find_path(path))
            return found;
    }
}

QV_xml_node* QVXML_node::parent() const
{
    return parent_;
}

QV_xml_node* QVXML_node::clone_into(const QV_xml_node* source, QV_xml_node* target_parent)
{
    QV_xml_node* copy = target_parent->add_child(source->name());
    if (!copy)
        return nullptr;
    copy->set_text(source->text());
    for (const QVXML_attrib* a = qvxml_node_of(source)->first_attribute(); a; a = a->next_) {
        if (!copy->set_attribute(a->name(), a->value()))
            return nullptr;
    }
    return copy;
}

bool QVXML_node::copy_children(const QV_xml_node* source, QV_xml_node* target, const wchar_t* name)
{
    for (const QVXML_node* c = qvxml_node_of(source)->first_child(); c; c = c->next_sibling()) {
        if (name && !c->name_.equals_no_case(name))
            continue;
        QV_xml_node* copy = clone_into(c, target);
        if (!copy || !copy_children(c, copy, nullptr))
            return false;
    }
    return true;
}

bool QVXML_node::equals(const QV_xml_node* other) const
{
    if (!other || !name_.equals_no_case(other->name()))
        return false;
    const QVXML_attrib* a = first_attrib_;
    const QVXML_attrib* b = qvxml_node_of(other)->first_attribute();
    for (; a && b; a = a->next_, b = b->next_) {
        if (!a->name_.equals_no_case(b->name()) || !a->value_.equals_no_case(b->value()))
            return false;
    }
    return !a && !b;
}

bool QVXML_node::differs(const QV_xml_node* other) const
{
    return !equals(other);
}

bool QVXML_node::deep_equals(const QV_xml_node* other) const
{
    if (!other || differs(other))
        return false;
    const QVXML_node* b = qvxml_node_of(other)->first_child();
    for (const QVXML_node* a = first_child_; a; a = a->next_sibling_, b = b->next_sibling_) {
        if (!a->deep_equals(b))
            return false;
    }
    return b == nullptr;
}
