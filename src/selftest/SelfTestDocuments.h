#pragma once

#include <QString>

#include <functional>

namespace korimado {

class KoriDocument;
class SelfTestWindow;

// Files and documents the suites make as a user would: a fixture written by another program, a
// text file opened in a window of its own.
namespace SelfTestDocuments {

// Writes the text whole or not at all, as another program saving it would; false with *error set.
bool writeWhole(const QString& path, const QString& text, QString* error);

// Opens the file as plain text into a new document of the program with its window shown; prepare
// runs before it is read. An empty handle with *error set when it cannot be read.
SelfTestWindow openTextWindow(const QString& path, QString* error,
                              const std::function<void(KoriDocument&)>& prepare = {});

}  // namespace SelfTestDocuments

}  // namespace korimado
