#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace korimado {

// Qt's JSON reader drops a raw U+FEFF that begins a string or a key ("\uFEFFClassic" reads as
// "Classic"), so a value would not survive a file. The writer escapes every U+FEFF; the reader
// escapes those it finds inside the text before parsing (a mark before the text stays a mark).
QByteArray jsonBytes(const QJsonDocument& document, QJsonDocument::JsonFormat format = QJsonDocument::Indented);
QJsonDocument jsonDocument(const QByteArray& bytes, QJsonParseError* error = nullptr);

}  // namespace korimado
