#pragma once
// The five escapes the serializer writes and the references the parser decodes.
// Both build their result aside and take it over whole, so a failure to grow
// (std::bad_alloc) leaves the text as it was.

#include "xml/qvxml_buffer.h"

class QVXML_output;

// Replaces each '"', '&', '\'', '<' and '>' by "&quot;", "&amp;", "&#39;", "&lt;"
// and "&gt;"; a text without any of them is left untouched.
void escape_entities(QVXML_buffer& text);
// The same escapes, appended to a text under construction (the serializer's).
void qvxml_append_escaped(QVXML_output& out, const wchar_t* text);

// Decodes "&amp;", "&quot;", "&apos;", "&lt;", "&gt;" (any case of ASCII letters)
// and decimal references "&#n;"; removes any other reference up to its ";". An
// "&" with no ";" after it is an ordinary character.
void decode_entities(QVXML_buffer& text);
