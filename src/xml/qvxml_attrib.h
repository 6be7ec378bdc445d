#pragma once
// An attribute in its element's list, which keeps insertion order.

#include "xml/qv_xml.h"
#include "xml/qvxml_buffer.h"

class QVXML_attrib final : public QV_xml_attrib {
public:
    explicit QVXML_attrib(QVXML_heap* heap) : name_(QVXML_buffer::DEFAULT_STEP, heap), value_(QVXML_buffer::DEFAULT_STEP, heap) {}
    const wchar_t* name() const override { return name_.c_str(); }
    const wchar_t* value() const override { return value_.c_str(); }

    QVXML_buffer name_;
    QVXML_buffer value_;
    QVXML_attrib* next_ = nullptr;
    QVXML_attrib* prev_ = nullptr;
};
