#include "platform/text/CharacterCounts.h"

#include "platform/text/CharacterClusters.h"

#include <algorithm>

namespace korimado {

namespace {

bool isBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

}  // namespace

bool CharacterCounts::isSafeCut(char16_t a, char16_t b)
{
    // A cluster ends after any line break but the CR of a CR LF; between two ASCII units only CR LF
    // joins (no ASCII unit extends, prepends or pairs).
    if (a == u'\r')
        return b != u'\n';
    return isBreak(a) || (a < 0x80 && b < 0x80);
}

void CharacterCounts::reset(qsizetype length)
{
    blocks_.assign(1, Block{length, -1});
    starts_.assign(1, 0);
    characterStarts_.clear();
    startsValid_ = 1;
    dirty_ = true;
    countedUnits_ = 0;
    length_ = length;
}

qsizetype CharacterCounts::blockAt(qsizetype offset) const
{
    const qsizetype n = qsizetype(blocks_.size());
    starts_.resize(size_t(n));
    while (startsValid_ < n && starts_[size_t(startsValid_ - 1)] <= offset) {
        starts_[size_t(startsValid_)] = starts_[size_t(startsValid_ - 1)] + blocks_[size_t(startsValid_ - 1)].units;
        ++startsValid_;
    }
    const auto end = starts_.begin() + startsValid_;
    return qsizetype(std::upper_bound(starts_.begin(), end, offset) - starts_.begin()) - 1;
}

void CharacterCounts::replace(TextRange oldRange, qsizetype newLength)
{
    const qsizetype location = oldRange.location;
    const qsizetype end = oldRange.end();
    const qsizetype first = blockAt(location);
    const qsizetype last = oldRange.length > 0 ? blockAt(end - 1) : first;
    const qsizetype lastEnd = starts_[size_t(last)] + blocks_[size_t(last)].units;
    if (first == last) {
        blocks_[size_t(first)].units += newLength - oldRange.length;
    } else {
        blocks_[size_t(first)].units = location - starts_[size_t(first)] + newLength + lastEnd - end;
        for (qsizetype i = first + 1; i <= last; ++i)
            blocks_[size_t(i)].units = 0;
    }
    for (qsizetype i = first; i <= last; ++i)
        blocks_[size_t(i)].characters = -1;
    // A cut the edit touches is no longer known to hold: the block on its other side goes too
    // (past any block left empty).
    if (location == starts_[size_t(first)])
        for (qsizetype i = first - 1; i >= 0; --i) {
            blocks_[size_t(i)].characters = -1;
            if (blocks_[size_t(i)].units > 0)
                break;
        }
    if (end == lastEnd)
        for (qsizetype i = last + 1; i < qsizetype(blocks_.size()); ++i) {
            blocks_[size_t(i)].characters = -1;
            if (blocks_[size_t(i)].units > 0)
                break;
        }
    length_ += newLength - oldRange.length;
    startsValid_ = std::min(startsValid_, first + 1);
    dirty_ = true;
}

void CharacterCounts::settle(const Fetch& fetch) const
{
    if (!dirty_)
        return;
    std::vector<Block> settled;
    settled.reserve(blocks_.size() + 8);
    qsizetype at = 0;
    for (std::size_t i = 0; i < blocks_.size();) {
        if (blocks_[i].characters >= 0) {
            settled.push_back(blocks_[i]);
            at += blocks_[i].units;
            ++i;
            continue;
        }
        // A run of blocks to count, cut anew where no cluster can cross. Read a window at a
        // time: a copy of a whole large text would cost more than counting it.
        qsizetype units = 0;
        for (; i < blocks_.size() && blocks_[i].characters < 0; ++i)
            units += blocks_[i].units;
        countedUnits_ += units;
        qsizetype window = 64 * blockUnits;
        for (qsizetype done = 0; done < units;) {
            const qsizetype windowEnd = std::min(units, done + window);
            const QString text = fetch(at + done, at + windowEnd);
            const qsizetype size = text.size();
            // constData: utf16() would copy a string that points into the text to end it with a zero.
            const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
            qsizetype from = 0;
            while (from < size) {
                qsizetype cut = from + blockUnits;
                while (cut < size && !isSafeCut(p[cut - 1], p[cut]))
                    ++cut;
                // Whether a cut at the window's end holds depends on what follows it.
                if (cut >= size && windowEnd < units)
                    break;
                cut = std::min(cut, size);
                settled.push_back(Block{cut - from, CharacterClusters::count(QStringView(text).mid(from, cut - from))});
                from = cut;
            }
            if (from == 0)
                window *= 2;
            done += from;
        }
        at += units;
    }
    if (settled.empty())
        settled.push_back(Block{0, 0});
    blocks_ = std::move(settled);
    const std::size_t n = blocks_.size();
    starts_.resize(n);
    characterStarts_.resize(n);
    qsizetype units = 0;
    qsizetype characters = 0;
    for (std::size_t i = 0; i < n; ++i) {
        starts_[i] = units;
        characterStarts_[i] = characters;
        units += blocks_[i].units;
        characters += blocks_[i].characters;
    }
    startsValid_ = qsizetype(n);
    dirty_ = false;
}

qsizetype CharacterCounts::count(const Fetch& fetch) const
{
    settle(fetch);
    return characterStarts_.back() + blocks_.back().characters;
}

qsizetype CharacterCounts::charactersBefore(qsizetype offset, const Fetch& fetch) const
{
    settle(fetch);
    offset = std::clamp<qsizetype>(offset, 0, length_);
    if (offset == length_)
        return count(fetch);
    const qsizetype i = blockAt(offset);
    const qsizetype start = starts_[size_t(i)];
    // Cuts before offset do not depend on what follows it: the prefix counts as the text does.
    return characterStarts_[size_t(i)] + (offset > start ? CharacterClusters::count(fetch(start, offset)) : 0);
}

qsizetype CharacterCounts::offset(qsizetype characters, const Fetch& fetch) const
{
    if (characters <= 0)
        return 0;
    if (characters >= count(fetch))
        return length_;
    const auto found = std::upper_bound(characterStarts_.begin(), characterStarts_.end(), characters);
    const std::size_t i = std::size_t(found - characterStarts_.begin()) - 1;
    const qsizetype start = starts_[i];
    const QString text = fetch(start, start + blocks_[i].units);
    return start + CharacterClusters::offset(text, characters - characterStarts_[i]);
}

}  // namespace korimado
