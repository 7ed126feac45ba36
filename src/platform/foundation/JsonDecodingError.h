#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace korimado {

// Why JSON data did not decode into the value asked for: the bytes are not JSON (or hold a value
// that cannot stand, such as a bad UUID), a required key is missing, a value has the wrong type,
// or a required value is null. The coding path names where ("rules[2].options").
class JsonDecodingError : public std::exception {
public:
    enum class Kind { dataCorrupted, keyNotFound, typeMismatch, valueNotFound };

    // detail: a Japanese sentence saying what is wrong.
    static JsonDecodingError dataCorrupted(const QString& codingPath, const QString& detail);
    static JsonDecodingError keyNotFound(const QString& codingPath, const QString& key);
    // expected: the Japanese name of the type the value should have ("真偽値", "文字列", ...).
    static JsonDecodingError typeMismatch(const QString& codingPath, const QString& expected);
    static JsonDecodingError valueNotFound(const QString& codingPath);

    Kind kind() const { return kind_; }
    const QString& codingPath() const { return codingPath_; }
    QString errorDescription() const { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    JsonDecodingError(Kind kind, QString codingPath, QString description);

    Kind kind_;
    QString codingPath_;
    QString description_;
    QByteArray what_;
};

}  // namespace korimado
