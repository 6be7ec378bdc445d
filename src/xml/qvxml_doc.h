#pragma once
// The document: one owned declaration root, or none.

#include "xml/qv_xml.h"
#include "base/qv_unique.h"
#include "xml/qvxml_heap.h"
#include "xml/qvxml_node.h"

class QVXML_output;

class QVXML_doc final : public QV_xml_doc {
public:
    QVXML_doc();
    ~QVXML_doc() override;
    QVXML_doc(const QVXML_doc&) = delete;
    QVXML_doc& operator=(const QVXML_doc&) = delete;

    void free_string(wchar_t* text) override;
    void release() override;
    void clear() override;
    bool create_new() override;
    bool load_from_string(const wchar_t* text) override;
    bool load_from_file(const wchar_t* path) override;
    bool load_from_handle(HANDLE file) override;
    wchar_t* to_string() override;
    bool save_to_file(const wchar_t* path) override;
    bool save_to_handle(HANDLE file) override;
    QV_xml_node* root() override;
    bool copy(QV_xml_doc* source, QV_xml_doc* target) override;

private:
    // U+FEFF and the serialized root.
    void write_with_mark(QVXML_output& out) const;
    bool load_bytes(char* bytes, DWORD size);
    bool load_8bit(const char* bytes);
    void promote(QVXML_node* declaration);

    // The tree's storage, made with the document and ended with it (or with the
    // last node detached from it); null leaves the tree on the C runtime's heap.
    QVXML_heap* heap_;
    QV_unique<QVXML_node_traits> root_;
};
