#pragma once
// The document's writer. Each element is written on its own lines, indented by
// two blanks per level; an element with text keeps it on its start tag's line,
// empty elements are never self-closing, and the declaration is never closed.

#include "xml/qvxml_node.h"

#include <string>

// Appends node, written at that nesting depth, to out.
void qvxml_serialize(const QVXML_node* node, int depth, std::wstring& out);
