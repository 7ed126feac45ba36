#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace korimado {

// What the search core throws; the description is shown to the user.
class SearchEngineError : public std::exception {
public:
    enum class Kind { invalidRegularExpression, invalidRange, cancelled, textTooLarge };

    // explanation: the expression library's own account of the fault, in Japanese.
    static SearchEngineError invalidRegularExpression(const QString& explanation);
    static SearchEngineError invalidRange();
    static SearchEngineError cancelled();
    // The expression ran out of its working memory or time on this text (a backtracking
    // expression such as (.|\n)* over a long text): the text, not the expression, is at fault.
    static SearchEngineError textTooLarge();

    Kind kind() const { return kind_; }
    const QString& payload() const { return payload_; }
    QString errorDescription() const;
    const char* what() const noexcept override { return what_.constData(); }

    friend bool operator==(const SearchEngineError& a, const SearchEngineError& b)
    {
        return a.kind_ == b.kind_ && a.payload_ == b.payload_;
    }

private:
    SearchEngineError(Kind kind, QString payload);

    Kind kind_;
    QString payload_;
    QByteArray what_;
};

}  // namespace korimado
