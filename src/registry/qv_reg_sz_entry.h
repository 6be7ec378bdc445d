#pragma once
#include "registry/qv_reg_entry.h"

// A REG_SZ value in a non-volatile key; the terminating NUL is stored with the text.
class QV_reg_sz_entry : public QV_reg_entry {
public:
    QV_reg_sz_entry(DWORD view, HKEY root, const QV_string& key_path, const QV_string& value_name,
                    const QV_string& data);
    LONG install() override;
    // A missing key or value counts as removed (0).
    LONG uninstall() override;
    QV_reg_entry* clone() const override;
    ~QV_reg_sz_entry() override;

    QV_string value_name;
    QV_string data;
};
