#include "platform/text/TextStorage.h"

#include "platform/foundation/MemoryAdvice.h"

#include <algorithm>
#include <initializer_list>

namespace korimado {

namespace {

// The pieces of one text given as consecutive parts, so that an edit's kept head and tail need
// not be joined with the new string into one more copy first.
class Parts {
public:
    explicit Parts(std::initializer_list<QStringView> parts)
    {
        for (QStringView part : parts) {
            if (part.isEmpty()) continue;
            parts_.push_back(part);
            size_ += part.size();
        }
    }
    qsizetype size() const { return size_; }
    QChar at(qsizetype i) const
    {
        for (QStringView part : parts_) {
            if (i < part.size()) return part[i];
            i -= part.size();
        }
        return {};
    }
    QString slice(qsizetype from, qsizetype to) const
    {
        QString out;
        out.reserve(to - from);
        qsizetype base = 0;
        for (QStringView part : parts_) {
            const qsizetype a = std::max(from, base);
            const qsizetype b = std::min(to, base + part.size());
            if (a < b) out.append(part.sliced(a - base, b - a));
            base += part.size();
        }
        return out;
    }

private:
    std::vector<QStringView> parts_;
    qsizetype size_ = 0;
};

// A cut point near target that separates neither a surrogate pair nor a CR LF.
qsizetype safeCut(const Parts& text, qsizetype target)
{
    qsizetype cut = std::clamp<qsizetype>(target, 1, text.size() - 1);
    const QChar before = text.at(cut - 1);
    const QChar after = text.at(cut);
    if ((before.isHighSurrogate() && after.isLowSurrogate()) || (before == u'\r' && after == u'\n'))
        ++cut;
    return cut;
}

qsizetype safeCut(const QString& text, qsizetype target)
{
    return safeCut(Parts{text}, target);
}

// Splits text into pieces of about the target size (one piece when it fits a chunk).
std::vector<QString> splitIntoChunks(const Parts& text)
{
    std::vector<QString> pieces;
    if (text.size() == 0) return pieces;
    if (text.size() <= TextStorage::MaxChunkSize) {
        pieces.push_back(text.slice(0, text.size()));
        return pieces;
    }
    const qsizetype count = (text.size() + TextStorage::TargetChunkSize - 1) / TextStorage::TargetChunkSize;
    const qsizetype size = (text.size() + count - 1) / count;
    pieces.reserve(static_cast<size_t>(count));
    qsizetype start = 0;
    while (start < text.size()) {
        if (text.size() - start <= size + 1) {
            pieces.push_back(text.slice(start, text.size()));
            break;
        }
        const qsizetype cut = safeCut(text, start + size);
        pieces.push_back(text.slice(start, cut));
        start = cut;
    }
    return pieces;
}

std::vector<QString> splitIntoChunks(const QString& text)
{
    if (text.size() <= TextStorage::MaxChunkSize) return text.isEmpty() ? std::vector<QString>{} : std::vector<QString>{text};
    return splitIntoChunks(Parts{text});
}

void appendPiecesOf(const std::vector<QString>& chunks, const std::vector<qsizetype>& starts, qsizetype firstChunk,
                    TextRange r, const std::function<bool(QStringView, qsizetype)>& fn)
{
    qsizetype pos = r.location;
    for (size_t c = static_cast<size_t>(firstChunk); c < chunks.size() && pos < r.end(); ++c) {
        const qsizetype chunkStart = starts[c];
        const qsizetype from = pos - chunkStart;
        const qsizetype to = std::min<qsizetype>(chunks[c].size(), r.end() - chunkStart);
        if (to <= from) continue;
        if (!fn(QStringView(chunks[c]).mid(from, to - from), pos)) return;
        pos = chunkStart + to;
    }
}

}  // namespace

// MARK: TextSnapshot

QChar TextSnapshot::characterAt(qsizetype index) const
{
    if (index < 0 || index >= length_) return QChar();
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), index);
    const size_t c = static_cast<size_t>(it - starts_.begin()) - 1;
    return chunks_[c].at(index - starts_[c]);
}

void TextSnapshot::forEachChunk(TextRange range, const std::function<bool(QStringView, qsizetype)>& fn) const
{
    const TextRange r = range.clamped(length_);
    if (r.isEmpty()) return;
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), r.location);
    appendPiecesOf(chunks_, starts_, (it - starts_.begin()) - 1, r, fn);
}

QString TextSnapshot::substring(TextRange range) const
{
    QString out = reservedString(range.clamped(length_).length);
    forEachChunk(range, [&](QStringView piece, qsizetype) {
        out.append(piece);
        return true;
    });
    return out;
}

QString TextSnapshot::string() const
{
    // A view into the storage's text must not outlive the snapshot.
    if (chunks_.size() == 1 && backings_.empty()) return chunks_.front();
    // Views are never reordered nor repeated: when every chunk views the one text and they add
    // up to it, they are all of it.
    if (backings_.size() == 1 && backings_.front()->size() == length_ && length_ > 0) {
        const QChar* begin = backings_.front()->constData();
        const bool allViews = std::all_of(chunks_.begin(), chunks_.end(), [&](const QString& chunk) {
            return chunk.constData() >= begin && chunk.constData() < begin + length_;
        });
        if (allViews) return *backings_.front();
    }
    return substring(TextRange(0, length_));
}

// MARK: TextStorage

TextStorage::TextStorage()
{
    chunks_.emplace_back();
    rebuildTree();
}

TextStorage::~TextStorage() = default;

TextStorage::TextStorage(const QString& text) : TextStorage()
{
    adopt(text);
    length_ = text.size();
    rebuildTree();
    lines_.rebuild(text);
}

namespace {

// Below this a copy costs less than what the views would keep alive.
constexpr qsizetype viewsFrom = 256 * TextStorage::TargetChunkSize;

}  // namespace

void TextStorage::adopt(const QString& text)
{
    backings_.clear();
    chunks_.clear();
    if (text.size() < viewsFrom || !appendViews(text, 0, text.size(), chunks_)) chunks_ = splitIntoChunks(text);
    if (chunks_.empty()) chunks_.emplace_back();
}

bool TextStorage::appendViews(const QString& text, qsizetype from, qsizetype to, std::vector<QString>& pieces)
{
    // Raw data belongs to the caller and may go before the views do.
    if (to <= from || !const_cast<QString&>(text).data_ptr().d_ptr()) return false;
    // A shallow copy: should the caller change its string later, that detaches the caller's.
    Backing backing{std::make_shared<const QString>(text), 0};
    const QChar* data = backing.text->constData();
    const Parts whole{QStringView(text)};
    const qsizetype length = to - from;
    const qsizetype count = (length + TargetChunkSize - 1) / TargetChunkSize;
    const qsizetype size = (length + count - 1) / count;
    pieces.reserve(pieces.size() + static_cast<size_t>(count) + 2);
    qsizetype start = from;
    while (start < to) {
        const qsizetype cut = to - start <= size + 1 ? to : std::min(to, safeCut(whole, start + size));
        pieces.push_back(QString::fromRawData(data + start, cut - start));
        ++backing.chunks;
        start = cut;
    }
    backings_.push_back(std::move(backing));
    return true;
}

qsizetype TextStorage::backingOf(const QString& chunk) const
{
    if (chunk.isEmpty()) return -1;
    for (size_t b = 0; b < backings_.size(); ++b) {
        const QChar* begin = backings_[b].text->constData();
        if (chunk.constData() >= begin && chunk.constData() < begin + backings_[b].text->size())
            return static_cast<qsizetype>(b);
    }
    return -1;
}

// Called for a chunk about to be replaced or changed.
void TextStorage::forgetChunk(const QString& chunk)
{
    const qsizetype b = backingOf(chunk);
    if (b < 0) return;
    if (--backings_[static_cast<size_t>(b)].chunks == 0) backings_.erase(backings_.begin() + b);
}

qsizetype TextStorage::viewChunkCount() const
{
    qsizetype count = 0;
    for (const Backing& backing : backings_) count += backing.chunks;
    return count;
}

const QString* TextStorage::wholeBacking() const
{
    // Views are never reordered nor repeated: when they add up to their one text, they are all of it.
    if (backings_.size() != 1) return nullptr;
    const Backing& backing = backings_.front();
    if (backing.chunks != chunkCount() || backing.text->size() != length_) return nullptr;
    return backing.text.get();
}

void TextStorage::rebuildTree()
{
    const size_t n = chunks_.size();
    tree_.assign(n + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        tree_[i] += chunks_[i - 1].size();
        const size_t j = i + (i & (~i + 1));
        if (j <= n) tree_[j] += tree_[i];
    }
}

void TextStorage::addToTree(qsizetype chunk, qsizetype delta)
{
    const size_t n = chunks_.size();
    for (size_t i = static_cast<size_t>(chunk) + 1; i <= n; i += i & (~i + 1))
        tree_[i] += delta;
}

qsizetype TextStorage::chunkStart(qsizetype chunk) const
{
    qsizetype sum = 0;
    for (size_t i = static_cast<size_t>(chunk); i > 0; i -= i & (~i + 1))
        sum += tree_[i];
    return sum;
}

TextStorage::Location TextStorage::locate(qsizetype position) const
{
    const size_t n = chunks_.size();
    size_t step = 1;
    while (step * 2 <= n) step *= 2;
    size_t pos = 0;
    qsizetype rest = position;
    for (; step > 0; step >>= 1) {
        if (pos + step <= n && tree_[pos + step] <= rest) {
            pos += step;
            rest -= tree_[pos];
        }
    }
    if (pos >= n) return {static_cast<qsizetype>(n) - 1, chunks_.back().size()};
    return {static_cast<qsizetype>(pos), rest};
}

QChar TextStorage::characterAt(qsizetype index) const
{
    if (index < 0 || index >= length_) return QChar();
    const Location at = locate(index);
    return chunks_[static_cast<size_t>(at.chunk)].at(at.offset);
}

void TextStorage::forEachChunk(TextRange range, const std::function<bool(QStringView, qsizetype)>& fn) const
{
    const TextRange r = range.clamped(length_);
    if (r.isEmpty()) return;
    Location at = locate(r.location);
    qsizetype pos = r.location;
    for (size_t c = static_cast<size_t>(at.chunk); c < chunks_.size() && pos < r.end(); ++c) {
        const QString& chunk = chunks_[c];
        const qsizetype from = at.offset;
        const qsizetype to = std::min<qsizetype>(chunk.size(), from + (r.end() - pos));
        at.offset = 0;
        if (to <= from) continue;
        if (!fn(QStringView(chunk).mid(from, to - from), pos)) return;
        pos += to - from;
    }
}

QString TextStorage::substring(TextRange range) const
{
    const TextRange r = range.clamped(length_);
    if (r.length == length_ && r.length > 0)
        if (const QString* whole = wholeBacking()) return *whole;  // shared, not copied
    QString out = reservedString(r.length);
    forEachChunk(r, [&](QStringView piece, qsizetype) {
        out.append(piece);
        return true;
    });
    return out;
}

QString TextStorage::string() const
{
    if (chunks_.size() == 1 && backings_.empty()) return chunks_.front();
    if (const QString* whole = wholeBacking()) return *whole;
    ++flattenings_;
    return substring(TextRange(0, length_));
}

bool TextStorage::acceptsEdits() const
{
    return !delegate_ || delegate_->textStorageAcceptsEdits(*this);
}

TextSnapshot TextStorage::snapshot() const
{
    TextSnapshot snap;
    snap.chunks_ = chunks_;
    snap.backings_.reserve(backings_.size());
    for (const Backing& backing : backings_) snap.backings_.push_back(backing.text);
    snap.starts_.reserve(chunks_.size() + 1);
    qsizetype sum = 0;
    for (const QString& chunk : chunks_) {
        snap.starts_.push_back(sum);
        sum += chunk.size();
    }
    snap.starts_.push_back(sum);
    snap.length_ = length_;
    return snap;
}

void TextStorage::spliceChunks(qsizetype first, qsizetype headLength, qsizetype last, qsizetype tailFrom,
                               const QString& string)
{
    // The kept head and tail are read in place: the chunks they come from may be views.
    const std::vector<Backing> keep = backings_;
    const QString firstChunk = chunks_[static_cast<size_t>(first)];
    const QString lastChunk = chunks_[static_cast<size_t>(last)];
    const QStringView head = QStringView(firstChunk).left(headLength);
    const QStringView tail = QStringView(lastChunk).mid(tailFrom);
    // The replaced chunks go before the new ones are made: a large edit then reuses their memory.
    for (qsizetype c = first; c <= last; ++c) {
        forgetChunk(chunks_[static_cast<size_t>(c)]);
        chunks_[static_cast<size_t>(c)] = QString();
    }
    std::vector<QString> pieces;
    if (string.size() >= viewsFrom) {
        // A large new text is viewed, not copied: the history keeps the same string.
        if (!head.isEmpty()) pieces.push_back(head.toString());
        if (!appendViews(string, 0, string.size(), pieces)) pieces = splitIntoChunks(Parts{head, string, tail});
        else if (!tail.isEmpty()) pieces.push_back(tail.toString());
    } else {
        pieces = splitIntoChunks(Parts{head, string, tail});
    }
    const auto begin = chunks_.begin() + first;
    const auto end = chunks_.begin() + last + 1;
    const qsizetype inserted = static_cast<qsizetype>(pieces.size());
    if (inserted <= last - first + 1) {
        std::move(pieces.begin(), pieces.end(), begin);
        chunks_.erase(begin + inserted, end);
    } else {
        std::move(pieces.begin(), pieces.begin() + (last - first + 1), begin);
        chunks_.insert(end, std::make_move_iterator(pieces.begin() + (last - first + 1)),
                       std::make_move_iterator(pieces.end()));
    }
    if (chunks_.empty()) chunks_.emplace_back();
    rebuildTree();
    if (inserted > 1 && string.size() >= viewsFrom) {
        // A kept head or tail around views stands alone: join it to its neighbour when small.
        mergeSmallChunk(first + inserted - 1);
        mergeSmallChunk(first);
    } else if (inserted == 1) mergeSmallChunk(first);
    else if (inserted == 0 && first < chunkCount()) mergeSmallChunk(first);
}

// Keeps chunks from shrinking into many tiny pieces after deletions.
void TextStorage::mergeSmallChunk(qsizetype chunk)
{
    if (chunks_.size() < 2 || chunk < 0 || chunk >= chunkCount()) return;
    if (chunks_[static_cast<size_t>(chunk)].size() >= MinChunkSize) return;
    const qsizetype first = chunk > 0 ? chunk - 1 : chunk;
    const size_t f = static_cast<size_t>(first);
    QString joined = chunks_[f] + chunks_[f + 1];
    forgetChunk(chunks_[f]);
    forgetChunk(chunks_[f + 1]);
    if (joined.size() <= MaxChunkSize) {
        chunks_[f] = std::move(joined);
        chunks_.erase(chunks_.begin() + first + 1);
    } else {
        const qsizetype cut = safeCut(joined, joined.size() / 2);
        chunks_[f] = joined.left(cut);
        chunks_[f + 1] = joined.mid(cut);
    }
    rebuildTree();
}

void TextStorage::replaceCharacters(TextRange range, const QString& string)
{
    const TextRange r = range.clamped(length_);
    if (r.isEmpty() && string.isEmpty()) return;
    history_->record(r.location, substring(r), string);
    const qsizetype delta = string.size() - r.length;
    const Location a = locate(r.location);
    QString& chunk = chunks_[static_cast<size_t>(a.chunk)];
    if (a.offset + r.length <= chunk.size() && chunk.size() + delta <= MaxChunkSize) {
        // A view is copied first (replace would copy it anyway), while its text is still there.
        if (backingOf(chunk) >= 0) {
            QString owned(chunk.constData(), chunk.size());
            forgetChunk(chunk);
            chunk = std::move(owned);
        }
        chunk.replace(a.offset, r.length, string);  // detaches only this chunk from snapshots
        addToTree(a.chunk, delta);
        length_ += delta;
        if (chunk.size() < MinChunkSize) mergeSmallChunk(a.chunk);
    } else {
        const Location b = r.isEmpty() ? a : locate(r.end());
        length_ += delta;
        spliceChunks(a.chunk, a.offset, b.chunk, b.offset, string);
    }
    lines_.update(*this, TextRange(r.location, string.size()), delta);
    noteEdit(TextStorageEdit::Characters, r, string.size());
}

void TextStorage::setString(const QString& string)
{
    const qsizetype oldLength = length_;
    history_->discardPending();
    adopt(string);
    length_ = string.size();
    rebuildTree();
    lines_.rebuild(string);
    noteEdit(TextStorageEdit::Characters, TextRange(0, oldLength), string.size());
}

void TextStorage::editedAttributes(TextRange range)
{
    const TextRange r = range.clamped(length_);
    noteEdit(TextStorageEdit::Attributes, r, r.length);
}

void TextStorage::beginEditing()
{
    ++editingDepth_;
}

void TextStorage::endEditing()
{
    if (editingDepth_ == 0) return;
    if (--editingDepth_ == 0) processEditing();
}

void TextStorage::noteEdit(unsigned mask, TextRange r, qsizetype newLength)
{
    const qsizetype delta = newLength - r.length;
    if (mask & TextStorageEdit::Characters) pendingChanges_.add(r, newLength);
    // One revision per transaction that changes characters.
    if ((mask & TextStorageEdit::Characters) && !(hasPendingEdit_ && pending_.editedCharacters())) ++revision_;
    if (!hasPendingEdit_) {
        pending_ = TextStorageEdit{mask, TextRange(r.location, newLength), delta, nullptr};
        hasPendingEdit_ = true;
    } else {
        // Carry the earlier range into the new text, then add this edit's range.
        const TextRange e = pending_.editedRange;
        qsizetype end = e.end();
        if (end >= r.end()) end += delta;
        else if (end > r.location) end = r.location + newLength;
        pending_.editedRange = TextRange::fromBounds(std::min(e.location, r.location),
                                                     std::max(end, r.location + newLength));
        pending_.mask |= mask;
        pending_.changeInLength += delta;
    }
    if (editingDepth_ == 0) processEditing();
}

void TextStorage::processEditing()
{
    if (processing_) return;  // an edit made by a callback is delivered after the current round
    processing_ = true;
    while (hasPendingEdit_) {
        TextStorageEdit edit = pending_;
        hasPendingEdit_ = false;
        if (pendingChanges_.size() > 1) edit.changes = std::make_shared<const TextChanges>(pendingChanges_.take());
        else pendingChanges_.take();
        history_->closeStep();
        if (delegate_) delegate_->textStorageWillProcessEditing(*this, edit);
        const std::vector<ObserverEntry> round = observers_;
        for (const ObserverEntry& entry : round) {
            const bool stillThere = std::any_of(observers_.begin(), observers_.end(),
                                                [&](const ObserverEntry& o) { return o.token == entry.token; });
            if (stillThere) entry.fn(*this, edit);
        }
        if (delegate_) delegate_->textStorageDidProcessEditing(*this, edit);
    }
    processing_ = false;
    // Jobs may edit again: each such edit is a round of its own.
    while (!afterProcessing_.empty() && !processing_ && editingDepth_ == 0) {
        std::vector<std::function<void()>> jobs;
        jobs.swap(afterProcessing_);
        for (auto& job : jobs) job();
    }
}

void TextStorage::afterProcessing(std::function<void()> job)
{
    if (!processing_ && !hasPendingEdit_) {
        job();
        return;
    }
    afterProcessing_.push_back(std::move(job));
}

TextStorage::ObserverToken TextStorage::addObserver(Observer observer)
{
    const ObserverToken token = nextToken_++;
    observers_.push_back({token, std::move(observer)});
    return token;
}

void TextStorage::removeObserver(ObserverToken token)
{
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [&](const ObserverEntry& o) { return o.token == token; }),
                     observers_.end());
}

}  // namespace korimado
