#pragma once
// An attribute of an XML element as callers see it. Attributes are made and
// freed only by their element, so the interface has no destructor of its own.

class QV_xml_attrib {
public:
    virtual const wchar_t* name() const = 0;
    virtual const wchar_t* value() const = 0;

protected:
    ~QV_xml_attrib() = default;
};
