#pragma once
// A small XML document held in UTF-16. Its root is the declaration element
// "?xml", whose children are the document's top-level elements.
//
// Loads replace the whole tree and answer false on any failure, keeping the
// elements completed before it. Saved files are UTF-16LE with a byte-order mark
// whatever the declaration says; loaded files may be UTF-16LE (with the mark),
// UTF-8 (by the declaration's encoding) or the ANSI code page.

#include "base/qv_unique.h"
#include "xml/qv_xml_node.h"

#include <windows.h>

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
