#pragma once
// The model's element: children in a singly linked list in document order,
// attributes in a doubly linked list in insertion order, both owned.

#include "xml/qv_xml.h"
#include "xml/qvxml_attrib.h"
#include "xml/qvxml_buffer.h"

class QVXML_node final : public QV_xml_node {
public:
    // A detached node with that name, stored on that heap (a document's; null: the
    // C runtime's) with its attributes and texts; null when it cannot be allocated.
    static QVXML_node* create(const wchar_t* name, QVXML_heap* heap = nullptr);
    static QVXML_node* create(const wchar_t* name, size_t length, QVXML_heap* heap = nullptr);

    const wchar_t* name() const override;
    QV_xml_attrib* attribute(unsigned index, const wchar_t* name) const override;
    bool set_attribute(const wchar_t* name, const wchar_t* value) override;
    bool set_attribute_escaped(const wchar_t* name, const wchar_t* value) override;
    void remove_attribute(const wchar_t* name) override;
    const wchar_t* attribute_value(const wchar_t* name) const override;
    const wchar_t* text() const override;
    void set_text(const wchar_t* text) override;
    void set_text_escaped(const wchar_t* text) override;
    wchar_t* inner_text() const override;
    bool has_children() const override;
    QV_xml_node* child(unsigned index, const wchar_t* name) const override;
    QV_xml_node* find_descendant(const wchar_t* name) const override;
    QV_xml_node* add_child(const wchar_t* name) override;
    void append_child(QV_xml_node* node) override;
    void remove_child(QV_xml_node* node) override;
    QV_xml_node* find_child_by_attribute(const wchar_t* name, const wchar_t* value) const override;
    QV_xml_node* follow_path(const wchar_t* path) override;
    QV_xml_node* find_path(const wchar_t* path) override;
    QV_xml_node* parent() const override;
    QV_xml_node* clone_into(const QV_xml_node* source, QV_xml_node* target_parent) override;
    bool copy_children(const QV_xml_node* source, QV_xml_node* target, const wchar_t* name) override;
    void destroy() override;
    bool equals(const QV_xml_node* other) const override;
    bool differs(const QV_xml_node* other) const override;
    bool deep_equals(const QV_xml_node* other) const override;
    void escaped_text(QVXML_buffer& out) const override;

    // For the document's parser and serializer, which walk the lists directly.
    const QVXML_node* first_child() const { return first_child_; }
    const QVXML_node* next_sibling() const { return next_sibling_; }
    const QVXML_attrib* first_attribute() const { return first_attrib_; }
    QVXML_buffer& text_buffer() { return text_; }
    // A new attribute after last, which must be the list's last entry (null for an
    // empty list); no search for the name. Null when it cannot be allocated.
    QVXML_attrib* append_attribute(QVXML_attrib* last, const wchar_t* name, size_t name_length,
                                   const wchar_t* value, size_t value_length);
    bool is_declaration() const { return name_.equals_no_case(L"?xml"); }
    QVXML_heap* heap() const { return heap_; }

private:
    explicit QVXML_node(QVXML_heap* heap);
    ~QVXML_node() = default;
    void free_attribute(QVXML_attrib* attrib);
    QVXML_attrib* find_attribute(const wchar_t* name, QVXML_attrib** last) const;
    void append_inner_text(QVXML_buffer& out) const;

    QVXML_node* first_child_ = nullptr;
    // Kept so that appending to a long child list does not walk it each time.
    QVXML_node* last_child_ = nullptr;
    QVXML_node* next_sibling_ = nullptr;
    QVXML_node* parent_ = nullptr;
    QVXML_buffer name_;
    QVXML_buffer text_;
    QVXML_attrib* first_attrib_ = nullptr;
    QVXML_heap* heap_;
};

// Every node of the tree is one of ours.
inline QVXML_node* qvxml_node_of(QV_xml_node* node)
{
    return static_cast<QVXML_node*>(node);
}
inline const QVXML_node* qvxml_node_of(const QV_xml_node* node)
{
    return static_cast<const QVXML_node*>(node);
}

// Owns a detached node (a parse in progress, the document's root).
struct QVXML_node_traits {
    using type = QVXML_node*;
    static type invalid() { return nullptr; }
    static void close(type node) { node->destroy(); }
};
