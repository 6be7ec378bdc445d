#pragma once
// The process-wide list that names the interfaces the program's COM objects are
// asked for, so that interface trace records show a name instead of an id. It
// exists from before WinMain to the end of the process; an empty list is valid
// and makes every id come out as its registry-form text. Read without a lock:
// fill it before a second thread exists.

#include <windows.h>

class QV_interface_association_list {
public:
    class entry {
    public:
        entry(const IID& iid, const wchar_t* name, entry* next) : iid_(iid), name_(name), next_(next) {}
        virtual ~entry() = default;
        entry(const entry&) = delete;
        entry& operator=(const entry&) = delete;

        const IID& iid() const { return iid_; }
        const wchar_t* name() const { return name_; }
        entry* next() const { return next_; }

    private:
        IID iid_;
        const wchar_t* name_;  // the caller's text; it must outlive the entry
        entry* next_;
    };

    QV_interface_association_list() = default;
    virtual ~QV_interface_association_list();
    QV_interface_association_list(const QV_interface_association_list&) = delete;
    QV_interface_association_list& operator=(const QV_interface_association_list&) = delete;

    // Puts iid with its name in front of the entries already there, so the newest
    // name wins a lookup. False when the entry cannot be allocated.
    bool add(const IID& iid, const wchar_t* name);
    // The first entry's name for iid (both 64-bit halves equal), or null.
    const wchar_t* name_of(const IID& iid) const;
    // Destroys every entry, in order.
    void clear();

private:
    entry* first_ = nullptr;
};

// The one list of the process.
extern QV_interface_association_list qv_interface_associations;
