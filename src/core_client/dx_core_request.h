#pragma once
// One request to the core: the XML document naming the function and its
// parameters, and its scrambled text.

#include "base/qv_string.h"
#include "xml/qv_xml.h"

class core_request {
public:
    // Throws std::bad_alloc when the document cannot be made.
    core_request();

    // <function name="..."> under a fresh declaration.
    void set_function(const wchar_t* name);
    // <parameter name="...">value</parameter> under the function; nothing without one.
    void add_parameter(const wchar_t* name, DWORD value);
    // The document scrambled for the core; null when scrambling failed. Owned by
    // the request and valid until the next call or its end.
    const wchar_t* scrambled_text();

private:
    QV_xml_doc_owner doc_;
    QV_string scrambled_;
};
