#pragma once
// The document's reader: one forward pass over NUL-terminated UTF-16 text.
//
// The declaration "<?xml ...?>" is an element that is never closed, so what
// follows it becomes its children; an end tag that matches no open element ends
// the parse with success; comments are stepped over, text mixed with elements
// is dropped, and DOCTYPE, processing instructions and CDATA are not read.

#include "xml/qvxml_attrib_index.h"
#include "xml/qvxml_node.h"

// Elements nested deeper than this below the document's root fail the parse, so
// that the recursive tree operations never meet deeper trees.
inline constexpr int QVXML_MAX_DEPTH = 256;

class QVXML_parser {
public:
    explicit QVXML_parser(const wchar_t* text) : p_(text) {}

    // Appends the elements of the text to the document's root. On failure the
    // elements completed before it stay attached.
    bool parse(QVXML_node* root);

    // The attributes of a start tag whose name has been read, up to and past its
    // ">"; *self_closing tells "/>".
    bool parse_attributes(QVXML_node* node, bool* self_closing);

    // The code page an 8-bit text (already widened in the ANSI code page) is
    // written in: CP_UTF8 when its declaration says encoding="UTF-8", else CP_ACP.
    static unsigned encoding_of(const wchar_t* text);

private:
    bool parse_content(QVXML_node* parent, int depth);
    bool parse_element(QVXML_node* parent, int depth);
    bool give_text(QVXML_node* node, const wchar_t* after_start_tag);
    bool parse_end_tag(const QVXML_node* node);
    bool parse_one_attribute();

    const wchar_t* p_;
    const QVXML_node* root_ = nullptr;
    // Attribute names and values on their way into a node, reused for each.
    QVXML_buffer name_scratch_;
    QVXML_buffer value_scratch_;
    QVXML_attrib_index attributes_;
};
