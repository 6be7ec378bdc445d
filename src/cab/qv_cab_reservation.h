#pragma once
// The file an archive is written into before it gets its name.
//
// It sits in the archive's folder under a name that says what it is,
// "<archive name>.<n>.partial", and is held open for the writer's whole life
// without sharing deletion. So a reservation whose writer died (a killed process
// leaves it behind) can be told from a live one: the first can be deleted, the
// second cannot. The finished archive is renamed through the held handle, so no
// other process can take the file away between its last write and its rename.

#include "base/qv_path.h"
#include "base/qv_unique.h"

#include <string>

class QV_cab_reservation {
public:
    QV_cab_reservation() = default;
    // An unpublished reservation is deleted.
    ~QV_cab_reservation();
    QV_cab_reservation(const QV_cab_reservation&) = delete;
    QV_cab_reservation& operator=(const QV_cab_reservation&) = delete;

    // Removes the dead reservations of archive_name in folder (which ends with a
    // backslash), then creates and holds a fresh one. False when no name fits the
    // 255 characters of a file name or none can be created.
    bool reserve(const QV_string& folder, const QV_string& archive_name);

    bool held() const { return file_.valid(); }
    // The reservation's file name in plain ASCII (other characters as "_"): how the
    // cabinet library is told the cabinet's name. The library only ever opens it
    // through open_descriptor, so the text need not name the file itself.
    const std::string& library_name() const { return library_name_; }

    // A runtime descriptor of the reserved file for the library to write the
    // cabinet through, emptied first; -1 with errno's value in *error on failure.
    int open_descriptor(int* error) const;

    // Gives the finished archive the name target, never replacing a file: when
    // target is taken, the first free "stem (n).ext" of target is used, asked again
    // as long as others take the names first. The archive's bytes are flushed to the
    // disk (FlushFileBuffers) before the rename, so after a kill or a power cut the
    // name holds the whole archive or what it held before, never a file whose data
    // did not arrive; a failed flush fails the publish. On success target holds the
    // name the archive got and the reservation is let go.
    bool publish(QV_path& target);
    // Deletes the reservation (when the last descriptor on it closes).
    void discard();

private:

    QV_file file_;
    std::string library_name_;
};

// The name of reservation number of the archive archive_name: the archive's name
// (shortened when needed, never inside a surrogate pair) followed by
// ".<number>.partial", within the 255 characters of a file name.
QV_string qv_cab_reservation_name(const QV_string& archive_name, unsigned number);
