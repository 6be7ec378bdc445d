#pragma once
// An element of an XML tree. Names are kept exactly as given; every lookup by
// name ignores the case of ASCII letters. Texts are kept decoded.
//
// Lookups never fail: they give null (or the empty text for attribute_value).
// Growing a text throws std::bad_alloc; creating a node or an attribute reports
// failure by a null or false result instead.

#include "xml/qv_xml_attrib.h"

struct QVXML_buffer;

class QV_xml_node {
public:
    virtual const wchar_t* name() const = 0;
    // The index-th attribute with that name, or of all attributes for a null name.
    virtual QV_xml_attrib* attribute(unsigned index, const wchar_t* name) const = 0;
    // Replaces the value of an attribute of that name or appends a new one; the
    // value is stored as given. False only when a new attribute cannot be made.
    virtual bool set_attribute(const wchar_t* name, const wchar_t* value) = 0;
    virtual bool set_attribute_escaped(const wchar_t* name, const wchar_t* value) = 0;
    virtual void remove_attribute(const wchar_t* name) = 0;
    virtual const wchar_t* attribute_value(const wchar_t* name) const = 0;
    virtual const wchar_t* text() const = 0;
    virtual void set_text(const wchar_t* text) = 0;
    virtual void set_text_escaped(const wchar_t* text) = 0;
    // The node's own text, else its children's inner texts joined; allocated with
    // malloc for the caller (the document's free_string releases it).
    virtual wchar_t* inner_text() const = 0;
    virtual bool has_children() const = 0;
    // The index-th child with that name, or of all children for a null name.
    virtual QV_xml_node* child(unsigned index, const wchar_t* name) const = 0;
    // Depth-first, pre-order; null for a null or empty name.
    virtual QV_xml_node* find_descendant(const wchar_t* name) const = 0;
    virtual QV_xml_node* add_child(const wchar_t* name) = 0;
    // Takes over a detached node (and its subtree) as the last child.
    virtual void append_child(QV_xml_node* node) = 0;
    // Detaches a child; it then belongs to the caller (destroy or append it).
    virtual void remove_child(QV_xml_node* node) = 0;
    virtual QV_xml_node* find_child_by_attribute(const wchar_t* name, const wchar_t* value) const = 0;
    // "a/b/c": the first child of each name in turn. Empty pieces are skipped;
    // a path without pieces gives this node.
    virtual QV_xml_node* follow_path(const wchar_t* path) = 0;
    // The same, trying every child of the first piece's name before giving up.
    virtual QV_xml_node* find_path(const wchar_t* path) = 0;
    virtual QV_xml_node* parent() const = 0;
    // A new child of target_parent with the source's name, text and attributes
    // (not its children); does not use this node.
    virtual QV_xml_node* clone_into(const QV_xml_node* source, QV_xml_node* target_parent) = 0;
    // Deep copies of source's children (of that name, when given) under target;
    // false at the first failure, keeping what was copied.
    virtual bool copy_children(const QV_xml_node* source, QV_xml_node* target, const wchar_t* name) = 0;
    // Frees the node with its subtree; it must be detached from any parent.
    virtual void destroy() = 0;
    // Names and attributes (position by position) equal; texts and children ignored.
    virtual bool equals(const QV_xml_node* other) const = 0;
    virtual bool differs(const QV_xml_node* other) const = 0;
    // equals, and every child deep_equals its counterpart.
    virtual bool deep_equals(const QV_xml_node* other) const = 0;
    virtual void escaped_text(QVXML_buffer& out) const = 0;

protected:
    ~QV_xml_node() = default;
};
