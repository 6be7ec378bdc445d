#pragma once
#include "registry/qv_reg_entry.h"

// A REG_DWORD value. A volatile entry creates its key volatile and never removes
// its value: what a volatile key holds goes away with the next restart anyway.
class QV_reg_dword_entry : public QV_reg_entry {
public:
    QV_reg_dword_entry(DWORD view, HKEY root, const QV_string& key_path, const QV_string& value_name,
                       DWORD value, DWORD is_volatile);
    LONG install() override;
    // A missing key or value counts as removed (0).
    LONG uninstall() override;
    QV_reg_entry* clone() const override;
    ~QV_reg_dword_entry() override;

    QV_string value_name;
    DWORD value;
    DWORD is_volatile;
};
