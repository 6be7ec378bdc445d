// Creation, attributes and text of an element.
#include "xml/qvxml_node.h"

#include "xml/qvxml_entities.h"
#include "xml/qvxml_heap.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

QVXML_node* QVXML_node::create(const wchar_t* name, QVXML_heap* heap)
{
    return create(name, name ? std::wcslen(name) : 0, heap);
}

QVXML_node::QVXML_node(QVXML_heap* heap)
    : name_(QVXML_buffer::DEFAULT_STEP, heap), text_(QVXML_buffer::DEFAULT_STEP, heap), heap_(heap)
{
}

QVXML_node* QVXML_node::create(const wchar_t* name, size_t length, QVXML_heap* heap)
{
    void* block = qvxml_allocate(heap, sizeof(QVXML_node));
    if (!block)
        return nullptr;
    QVXML_node* node = nullptr;
    try {
        node = new (block) QVXML_node(heap);
        node->name_.assign(name, length);
    } catch (const std::bad_alloc&) {
        if (node)
            node->~QVXML_node();
        qvxml_free(heap, block, sizeof(QVXML_node));
        return nullptr;
    }
    qvxml_hold(heap);  // the node may outlive its document once detached
    return node;
}

const wchar_t* QVXML_node::name() const
{
    return name_.c_str();
}

// The first attribute of that name; *last (when given) receives the list's last
// entry when there is none, so that appending needs no second walk.
QVXML_attrib* QVXML_node::find_attribute(const wchar_t* name, QVXML_attrib** last) const
{
    QVXML_attrib* tail = nullptr;
    for (QVXML_attrib* a = first_attrib_; a; a = a->next_) {
        if (a->name_.equals_no_case(name))
            return a;
        tail = a;
    }
    if (last)
        *last = tail;
    return nullptr;
}

QV_xml_attrib* QVXML_node::attribute(unsigned index, const wchar_t* name) const
{
    for (QVXML_attrib* a = first_attrib_; a; a = a->next_) {
        if ((!name || a->name_.equals_no_case(name)) && index-- == 0)
            return a;
    }
    return nullptr;
}

bool QVXML_node::set_attribute(const wchar_t* name, const wchar_t* value)
{
    QVXML_attrib* last = nullptr;
    if (QVXML_attrib* found = find_attribute(name, &last)) {
        found->value_.assign(value);
        return true;
    }
    return append_attribute(last, name, name ? std::wcslen(name) : 0, value, value ? std::wcslen(value) : 0);
}

QVXML_attrib* QVXML_node::append_attribute(QVXML_attrib* last, const wchar_t* name, size_t name_length,
                                           const wchar_t* value, size_t value_length)
{
    void* block = qvxml_allocate(heap_, sizeof(QVXML_attrib));
    if (!block)
        return nullptr;
    QVXML_attrib* fresh = nullptr;
    try {
        fresh = new (block) QVXML_attrib(heap_);
        fresh->name_.assign(name, name_length);
        fresh->value_.assign(value, value_length);
    } catch (const std::bad_alloc&) {
        if (fresh)
            fresh->~QVXML_attrib();
        qvxml_free(heap_, block, sizeof(QVXML_attrib));
        return nullptr;
    }
    fresh->prev_ = last;
    (last ? last->next_ : first_attrib_) = fresh;
    return fresh;
}

bool QVXML_node::set_attribute_escaped(const wchar_t* name, const wchar_t* value)
{
    QVXML_buffer decoded;
    decoded.assign(value);
    decode_entities(decoded);
    return set_attribute(name, decoded.c_str());
}

void QVXML_node::remove_attribute(const wchar_t* name)
{
    QVXML_attrib* found = find_attribute(name, nullptr);
    if (!found)
        return;
    (found->prev_ ? found->prev_->next_ : first_attrib_) = found->next_;
    if (found->next_)
        found->next_->prev_ = found->prev_;
    free_attribute(found);
}

void QVXML_node::free_attribute(QVXML_attrib* attrib)
{
    attrib->~QVXML_attrib();
    qvxml_free(heap_, attrib, sizeof(QVXML_attrib));
}

const wchar_t* QVXML_node::attribute_value(const wchar_t* name) const
{
    QVXML_attrib* found = find_attribute(name, nullptr);
    return found ? found->value() : L"";
}

const wchar_t* QVXML_node::text() const
{
    return text_.c_str();
}

void QVXML_node::set_text(const wchar_t* text)
{
    text_.assign(text);
}

void QVXML_node::set_text_escaped(const wchar_t* text)
{
    text_.assign(text);
    decode_entities(text_);
}

void QVXML_node::append_inner_text(QVXML_buffer& out) const
{
    if (text_.length()) {
        out.append(text_.c_str(), text_.length());
        return;
    }
    for (const QVXML_node* c = first_child_; c; c = c->next_sibling_)
        c->append_inner_text(out);
}

wchar_t* QVXML_node::inner_text() const
{
    QVXML_buffer joined(1024);
    append_inner_text(joined);
    return qvxml_malloc_copy(joined.c_str(), joined.length());
}

void QVXML_node::escaped_text(QVXML_buffer& out) const
{
    out.assign(text_.c_str(), text_.length());
    escape_entities(out);
}

void QVXML_node::destroy()
{
    while (QVXML_attrib* a = first_attrib_) {
        first_attrib_ = a->next_;
        free_attribute(a);
    }
    while (QVXML_node* c = first_child_) {
        first_child_ = c->next_sibling_;
        c->destroy();
    }
    QVXML_heap* heap = heap_;
    this->~QVXML_node();
    qvxml_free(heap, this, sizeof(QVXML_node));
    qvxml_drop(heap);  // last: the heap may end with this node
}
