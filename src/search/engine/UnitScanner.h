#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace korimado {

// Looks for one literal in UTF-16 text eight units at a time: its first and last units are
// compared at once and only positions where both agree are checked whole. With
// asciiCaseInsensitive the literal must be lower case and ASCII letters match either case;
// nothing else is folded.
class UnitScanner {
public:
    UnitScanner(QStringView literal, bool asciiCaseInsensitive);

    qsizetype length() const { return qsizetype(units_.size()); }

    // The first occurrence that starts at or after from and ends by n, or -1.
    qsizetype find(const char16_t* text, qsizetype n, qsizetype from) const;

    // The first position at or after from whose unit is one of the two (the same unit twice for
    // one), or n.
    static qsizetype findUnit(const char16_t* text, qsizetype n, qsizetype from, char16_t a, char16_t b);
    // The first line terminator (LF, VT, FF, CR, NEL, LS, PS) at or after from, or n.
    static qsizetype findLineTerminator(const char16_t* text, qsizetype n, qsizetype from);

private:
    bool matchesAt(const char16_t* at) const;

    std::vector<char16_t> units_;
    std::vector<char16_t> masks_;  // OR-ed onto a text unit before it is compared
};

}  // namespace korimado
