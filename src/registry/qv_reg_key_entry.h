#pragma once
#include "registry/qv_reg_entry.h"

// A key with no values of its own. A volatile key vanishes at the next restart of
// the machine; an existing key keeps whichever option it was created with.
class QV_reg_key_entry : public QV_reg_entry {
public:
    QV_reg_key_entry(DWORD view, HKEY root, const QV_string& key_path, DWORD is_volatile);
    LONG install() override;
    // A missing key counts as removed (0); a key with subkeys cannot be removed.
    LONG uninstall() override;
    QV_reg_entry* clone() const override;
    ~QV_reg_key_entry() override;

    DWORD is_volatile;
};
