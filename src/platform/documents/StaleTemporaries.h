#pragma once

#include <QByteArray>
#include <QString>

namespace korimado {

// Removes what writes killed before their end left in folder: the temporary files of a save of
// fileName, the hidden trees of a tree write of any name there, and the old item a tree write of
// fileName had put aside once fileName stands again. Only this user's items go, none that a
// write in progress holds locked, and no link is followed.
void removeStaleTemporaries(const QString& folder, const QString& fileName);

// Whether name has the form of a tree write's hidden sibling: the temporary prefix of some file
// name, then role ("new-" or "old-"), then the random part.
bool isTreeTemporaryName(const QByteArray& name, const char* role);

// Removes the item name in the folder dirFd and everything in it, never following a link: a
// link is removed itself.
void removeItemTree(int dirFd, const QByteArray& name);

}  // namespace korimado
