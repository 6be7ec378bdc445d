#pragma once
// The XML document model as its callers use it: three interfaces, the document,
// its elements and their attributes (the QVXML_ classes in the qvxml_ files
// implement them).

#include "base/qv_unique.h"

#include <windows.h>

// An attribute of an XML element as callers see it. Attributes are made and
// freed only by their element, so the interface has no destructor of its own.
class QV_xml_attrib {
public:
    virtual const wchar_t* name() const = 0;
    virtual const wchar_t* value() const = 0;

protected:
    ~QV_xml_attrib() = default;
};

struct QVXML_buffer;

// An element of an XML tree. Names are kept exactly as given; every lookup by
// name ignores the case of ASCII letters. Texts are kept decoded.
//
// Lookups never fail: they give null (or the empty text for attribute_value).
// Growing a text throws std::bad_alloc; creating a node or an attribute reports
// failure by a null or false result instead.
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

// A small XML document held in UTF-16. Its root is the declaration element
// "?xml", whose children are the document's top-level elements.
//
// Loads replace the whole tree and answer false on any failure, keeping the
// elements completed before it. Saved files are UTF-16LE with a byte-order mark
// whatever the declaration says; loaded files may be UTF-16LE (with the mark),
// UTF-8 (by the declaration's encoding) or the ANSI code page.
class QV_xml_doc {
public:
    // Releases a string the model allocated (to_string, inner_text); null is ignored.
    virtual void free_string(wchar_t* text) = 0;
    virtual void release() = 0;
    virtual void clear() = 0;
    // A fresh declaration root with version "1.0"; false when it cannot be made.
    virtual bool create_new() = 0;
    virtual bool load_from_string(const wchar_t* text) = 0;
    virtual bool load_from_file(const wchar_t* path) = 0;
    virtual bool load_from_handle(HANDLE file) = 0;
    // U+FEFF and the serialized tree, allocated with malloc (free_string releases
    // it); throws std::bad_alloc when it cannot be allocated.
    virtual wchar_t* to_string() = 0;
    virtual bool save_to_file(const wchar_t* path) = 0;
    virtual bool save_to_handle(HANDLE file) = 0;
    virtual QV_xml_node* root() = 0;
    // Makes target a fresh document holding copies of source's top-level
    // elements; does not use this document.
    virtual bool copy(QV_xml_doc* source, QV_xml_doc* target) = 0;
    virtual ~QV_xml_doc() = default;
};

// A new document without a root; null when it cannot be allocated. End it with
// release, or hand it to a QV_xml_doc_owner.
QV_xml_doc* create_xml_doc();

struct QV_xml_doc_traits {
    using type = QV_xml_doc*;
    static type invalid() { return nullptr; }
    static void close(type doc) { doc->release(); }
};

// Holds one document and releases it once, on every path.
using QV_xml_doc_owner = QV_unique<QV_xml_doc_traits>;
