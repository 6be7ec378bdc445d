#pragma once
// A file-system path: UTF-16 text with the backslash as separator, able to take
// itself apart, combine, resolve and ask the file system about itself. None of
// the operations fails loudly: a failing system call gives the empty path (or,
// where said, the path unchanged), never a truncated one.

#include "base/qv_idlist.h"
#include "base/qv_string.h"

#include <windows.h>

#include <cstddef>

class QV_path : public QV_string {
public:
    // Cached answers of is_file and is_root; 0 in a field means "not asked yet".
    static constexpr unsigned short kind_mask = 0x3;
    static constexpr unsigned short kind_file = 1;       // not a directory (a file, or nothing)
    static constexpr unsigned short kind_directory = 2;
    static constexpr unsigned short root_mask = 0xC;
    static constexpr unsigned short root_yes = 4;
    static constexpr unsigned short root_no = 8;

    // Selector of QV_path(int): the temporary directory (ends with a backslash).
    static constexpr int temp_directory = 0;

    QV_path();                              // the empty path
    QV_path(std::nullptr_t);                // no text
    QV_path(const wchar_t* text);           // a copy; null gives no text
    QV_path(const QV_string& text);         // a copy of its text
    QV_path(const QV_path& other);          // text, a clone of the ID list, flags
    QV_path(QV_path&& other) noexcept;
    explicit QV_path(const QV_path* other); // as the copy; null gives no text
    // The module's file name; a null handle names the program's own executable.
    // Failure gives the empty path.
    explicit QV_path(HMODULE module);
    // A shell special folder (CSIDL_WINDOWS 36, CSIDL_SYSTEM 37, ...); failure
    // gives the empty path.
    QV_path(int csidl, BOOL create);
    // temp_directory gives the temporary directory; any other selector, or a
    // failure, gives the empty path.
    explicit QV_path(int selector);
    ~QV_path() override;

    QV_path& operator=(const QV_path& other);
    QV_path& operator=(QV_path&& other) noexcept;
    QV_path& operator=(const wchar_t* text);
    void assign(const QV_path& other);      // text, cloned ID list, flags
    void assign(const wchar_t* text);       // text; ID list released, flags 0

    // Appending changes the text, so the cached answers and the ID list go.
    QV_path operator+=(const QV_string& text);
    QV_path operator+=(const wchar_t* text);
    QV_path operator+=(const char* text);

    // Appends part as a relative component with exactly one backslash between
    // the two (an empty path simply becomes part); returns the new value.
    QV_path join(const QV_string& part);
    // Text before the last separator (backslash or forward slash), "C:" made
    // "C:\"; empty for a root, for a single component and for the empty path.
    QV_path parent() const;
    // Text after the last backslash (the whole text without one); empty for a
    // root and for the empty path.
    QV_path file_name() const;
    // Text after the last '.' of file_name, without the dot; empty without one.
    QV_path extension() const;
    // The absolute form; a copy of the path when it cannot be resolved.
    QV_path full_path() const;
    // The long (non-8.3) form; a copy of the path when it cannot be had.
    QV_path long_path() const;

    // Known to the file system; a path the encryption layer refuses to describe
    // (errors 6000 to 6199) counts as existing. False for the empty path.
    bool exists() const;
    // Names something that is not a directory (or nothing). A bare drive "X:" or
    // "X:\" is a directory and a root even without a medium. Cached; false for
    // the empty path.
    bool is_file() const;
    // Names a volume root (bare drives included). Cached; false for the empty path.
    bool is_root() const;
    bool has_text() const { return !is_empty(); }
    // Creates the directory and its missing parents. True when the directory
    // exists afterwards; false for the empty path, an existing file on the way,
    // or a level that cannot be made (the levels made before stay).
    bool create_directory_tree() const;
    // The path itself when it does not exist, else the first free
    // "stem (n).ext" for n = 1 .. 65535; the empty path when all are taken.
    QV_path unique_name() const;

    // The ordering of path-keyed maps: a stem's ".dxkey" file comes before
    // everything sharing the stem, a directory's contents right after the
    // directory. Strict: false for equal texts.
    virtual bool sorts_before(const QV_path& other) const;

    unsigned short flags() const { return flags_; }
    LPCITEMIDLIST idlist() const { return idlist_.get(); }
    // Attaches a shell form of the path; it goes when the text is replaced.
    void keep_idlist(QV_idlist list) { idlist_ = static_cast<QV_idlist&&>(list); }

protected:
    void forget_cache();

private:
    mutable QV_idlist idlist_;
    mutable unsigned short flags_ = 0;
};

// A new path: first with second joined to it.
QV_path join(const QV_path& first, const QV_string& second);

// Text concatenated without a separator. The result has no cached answers and
// no ID list: they described the left operand's text, not the new one.
QV_path operator+(const QV_path& left, const QV_string& right);
QV_path operator+(const QV_path& left, const wchar_t* right);
QV_path operator+(const QV_path& left, const char* right);

// Whether two paths name the same file: equal texts (ASCII case ignored) are,
// different roots are not, otherwise the long absolute forms decide. Two paths
// without text are the same. Reads no file system for equal texts.
bool same_path(const QV_path& a, const QV_path& b);

// The "\\?\" form of an absolute path ("\\?\UNC\..." for a share), in which the
// file calls take any length and reach a name exactly as a folder lists it (one
// ending in a dot or a space included); a path already in that form, or in the
// device form "\\.\", is returned as it is. Give it absolute paths only.
QV_string qv_extended_path(const QV_string& full);

// The plain form of a "\\?\" path ("\\?\UNC\s\x" gives "\\s\x"); any other path
// is returned as it is.
QV_string qv_plain_path(const QV_string& path);

// Test seam: exists() asks the file system through this, the layer's
// qv_get_file_attributes. It stays beside the layer's probe because a test gives
// answers through it (every name taken) that a probe, which only fails or ends a
// call, cannot give.
extern DWORD(WINAPI* qv_path_get_attributes)(LPCWSTR path);
