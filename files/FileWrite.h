#pragma once
// Writing new bytes into a file without losing what it carries. Normally the bytes go to a
// new file (QSaveFile) that takes the old one's owner, group, mode and extended attributes
// and then replaces it, so a failure leaves the old file whole. A file with more than one
// name (hard links), whose attributes a new file cannot be given, or that a new file
// cannot replace (a bind mount, a folder the operator may not write) is written in place
// instead: that keeps it what it is, after room for the new bytes has been made sure of.

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace norvane {

struct WriteOutcome {
    bool written = false;
    // Why nothing was written (the platform's description of the error); or, when
    // written, what the file could not keep.
    QString message;
};

// The platform's description of an errno value.
QString SystemErrorText(int code);

// `path` names the file itself, not a link to it.
WriteOutcome WriteFileBytes(const QString& path, const QList<QByteArrayView>& pieces, qsizetype size);

}  // namespace norvane
