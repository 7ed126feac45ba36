#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace korimado {

// What the search core throws; the description is shown to the user.
class SearchEngineError : public std::exception {
public:
    enum class Kind { invalidRegularExpression, invalidRange, cancelled, textTooLarge, expressionTooComplex };

    // explanation: the expression library's own account of the fault, in Japanese.
    static SearchEngineError invalidRegularExpression(const QString& explanation);
    static SearchEngineError invalidRange();
    static SearchEngineError cancelled();
    // The text could not be given to the expression library (it ran out of memory).
    static SearchEngineError textTooLarge();
    // The expression reached the library's stack or time limit: it backtracks too much, as
    // (.|\n)* over a long text or (a+)+$ over a run of "a" does.
    static SearchEngineError expressionTooComplex();

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
