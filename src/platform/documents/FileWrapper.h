#pragma once

#include "platform/foundation/CancellationToken.h"
#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

namespace korimado {

// A tree of files and folders held in memory: a regular file's bytes, or a folder of named
// children (sorted by name). No dates, permissions or links; an empty folder stays a folder.
class FileWrapper {
public:
    using Children = QMap<QString, FileWrapper>;

    FileWrapper() = default;  // an empty folder
    static FileWrapper regularFile(QByteArray contents);
    static FileWrapper directory(Children children = {});

    bool isRegularFile() const { return isFile_; }
    bool isDirectory() const { return !isFile_; }
    const QByteArray& regularFileContents() const { return contents_; }
    const Children& fileWrappers() const { return children_; }
    const FileWrapper* child(const QString& name) const;
    void addFileWrapper(const QString& name, FileWrapper wrapper);

    // The relative paths under prefix: a file gives prefix, an empty folder prefix + "/", a folder
    // its children's paths by name, each under prefix + "/" + name.
    QStringList paths(const QString& prefix) const;
    void appendPaths(const QString& prefix, QStringList& out) const;

    // Called after the new tree is complete on disk, before it takes the place of the old item;
    // returning false (with the error set) abandons the write.
    using BeforeExchange = std::function<bool(ErrorInfo*)>;

    // Writes the tree at path so that path holds the old item or the new tree, never a mixture:
    // the tree goes into a hidden sibling folder (locked while it is written, and swept by a later
    // write when a kill left it), each file and folder of it is flushed to disk, then the two names
    // are exchanged (renamed in two steps where the file system cannot exchange), and the old
    // item is removed without following any link in it. An item at path is replaced whole, a link
    // there included (never followed). A file is written the same way. Names must be single path
    // components; the parent folder must exist. Once cancel is set the write stops before the
    // exchange (ECANCELED) and leaves the old item.
    bool write(const QString& path, ErrorInfo* error = nullptr, const BeforeExchange& beforeExchange = {},
               const CancellationToken* cancel = nullptr) const;

    friend bool operator==(const FileWrapper& a, const FileWrapper& b)
    {
        return a.isFile_ == b.isFile_ && a.contents_ == b.contents_ && a.children_ == b.children_;
    }

private:
    bool isFile_ = false;
    QByteArray contents_;
    Children children_;
};

}  // namespace korimado
