#include "preview/SVGPreview.h"

#include <QSet>
#include <QXmlStreamReader>

#include <optional>

namespace korimado {

namespace {

const QString svgNamespace = QStringLiteral("http://www.w3.org/2000/svg");
const QString xlinkNamespace = QStringLiteral("http://www.w3.org/1999/xlink");
const QString xmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");

const QSet<QString>& allowedElements()
{
    static const QSet<QString> names = [] {
        const QString list = QStringLiteral(
            "svg g defs title desc path rect circle ellipse line polyline polygon text tspan textPath use symbol "
            "marker pattern clipPath mask linearGradient radialGradient stop filter feBlend feColorMatrix "
            "feComponentTransfer feComposite feConvolveMatrix feDiffuseLighting feDisplacementMap feDistantLight "
            "feDropShadow feFlood feFuncA feFuncB feFuncG feFuncR feGaussianBlur feMerge feMergeNode feMorphology "
            "feOffset fePointLight feSpecularLighting feSpotLight feTile feTurbulence animate animateMotion "
            "animateTransform mpath set style");
        const QStringList split = list.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        return QSet<QString>(split.begin(), split.end());
    }();
    return names;
}

// "<!" then white space then DOCTYPE or ENTITY, in any case.
bool hasDeclaration(const QString& text)
{
    qsizetype i = 0;
    while ((i = text.indexOf(QStringLiteral("<!"), i)) >= 0) {
        i += 2;
        qsizetype p = i;
        while (p < text.size() && text[p].isSpace()) ++p;
        const QStringView rest = QStringView(text).mid(p);
        if (rest.startsWith(u"DOCTYPE", Qt::CaseInsensitive) || rest.startsWith(u"ENTITY", Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

// Writes the drawing while reading it: one pass, no tree.
class Serializer {
public:
    explicit Serializer(QXmlStreamReader& reader) : reader_(reader) {}

    // Reads the element at the reader's start token through its end token.
    void element(int depth)
    {
        ++visited_;
        if (visited_ > SVGPreview::maximumElements || depth > SVGPreview::maximumDepth) {
            error_ = SVGPreview::Error::limits;
            return;
        }
        const QString name = reader_.name().toString();
        const QStringView ns = reader_.namespaceUri();
        const QXmlStreamAttributes attributes = reader_.attributes();
        if (!allowedElements().contains(name) || !(ns.isEmpty() || ns == svgNamespace) || retargetsAnimation(name, attributes)) {
            ++removed_;
            reader_.skipCurrentElement();
            return;
        }
        out_ += QLatin1Char('<') + name;
        for (const QXmlStreamAttribute& attribute : attributes) writeAttribute(attribute);
        out_ += QLatin1Char('>');
        const bool style = name == QLatin1String("style");
        while (!reader_.atEnd()) {
            switch (reader_.readNext()) {
            case QXmlStreamReader::StartElement:
                element(depth + 1);
                if (error_) return;
                break;
            case QXmlStreamReader::Characters:
                if (style) {
                    for (const QChar c : reader_.text()) {
                        if (c == u'<') out_ += QStringLiteral("\\3C ");
                        else out_ += c;
                    }
                } else {
                    SVGPreview::appendEscaped(out_, reader_.text());
                }
                break;
            case QXmlStreamReader::EndElement:
                out_ += QStringLiteral("</") + name + QLatin1Char('>');
                return;
            default:  // comments, processing instructions: dropped, not counted
                break;
            }
        }
    }

    QString out_;
    int visited_ = 0;
    int removed_ = 0;
    std::optional<SVGPreview::Error> error_;

private:
    // The page is read by the browser's HTML parser, which lowercases attribute names (and then
    // gives the SVG ones their mixed case back): every name is compared as it will, without case.
    static bool named(QStringView name, QLatin1StringView wanted)
    {
        return name.compare(wanted, Qt::CaseInsensitive) == 0;
    }

    // An animation may not retarget links, styles or event handlers.
    static bool retargetsAnimation(const QString& name, const QXmlStreamAttributes& attributes)
    {
        if (name != QLatin1String("animate") && name != QLatin1String("set")) return false;
        for (const QXmlStreamAttribute& attribute : attributes) {
            if (!named(attribute.name(), QLatin1StringView("attributeName"))) continue;
            const QString value = attribute.value().trimmed().toString().toLower();
            if (value == QLatin1String("href") || value == QLatin1String("xlink:href") || value == QLatin1String("style")
                || value.startsWith(QLatin1String("on"))) {
                return true;
            }
        }
        return false;
    }

    void writeAttribute(const QXmlStreamAttribute& attribute)
    {
        const QStringView n = attribute.name();
        const QStringView v = attribute.value();
        const QStringView ns = attribute.namespaceUri();
        const bool removed = n.startsWith(QLatin1StringView("on"), Qt::CaseInsensitive)
                             || named(n, QLatin1StringView("src")) || named(n, QLatin1StringView("base"))
                             || n.contains(u':') || (named(n, QLatin1StringView("href")) && !v.startsWith(u'#'))
                             || !(ns.isEmpty() || ns == xlinkNamespace || ns == xmlNamespace);
        if (removed) {
            ++removed_;
            return;
        }
        out_ += QLatin1Char(' ');
        out_ += n;
        out_ += QStringLiteral("=\"");
        SVGPreview::appendEscaped(out_, v);
        out_ += QLatin1Char('"');
    }

    QXmlStreamReader& reader_;
};

const QString parseMessage =
    QStringLiteral("SVGの書式が正しくありません。開始タグ・終了タグ・引用符を確認してください。");
const QString tail = QStringLiteral("</main></body></html>");

SVGPreview::Output failed(const QString& message)
{
    QString html = SVGPreview::head() + QStringLiteral("<p class='error'>");
    SVGPreview::appendEscaped(html, message);
    html += QStringLiteral("</p>") + tail;
    return {html, QStringLiteral("SVGの構文を確認してください"), false};
}

}  // namespace

const QString& SVGPreview::head()
{
    static const QString text = QStringLiteral(
        R"(<!doctype html><html><head><meta charset="utf-8"><meta http-equiv="Content-Security-Policy" content="default-src 'none'; script-src 'none'; style-src 'unsafe-inline'; img-src 'none'; connect-src 'none'; font-src 'none'; object-src 'none'; frame-src 'none'; base-uri 'none'; form-action 'none'"><style>html,body{margin:0;min-height:100%;font:14px -apple-system;background:#f4f5f7;color:#222}#stage{box-sizing:border-box;min-height:100vh;padding:24px;display:flex;align-items:center;justify-content:center}#stage>svg{display:block;max-width:100%;max-height:calc(100vh - 48px);height:auto;background:white;box-shadow:0 2px 16px #0001}.error{line-height:1.7;color:#a52525;overflow-wrap:anywhere}</style></head><body><main id="stage">)");
    return text;
}

QString SVGPreview::message(Error error)
{
    switch (error) {
    case Error::limits: return QStringLiteral("SVGの要素数または階層が上限を超えています。");
    case Error::tooLarge: return QStringLiteral("SVGがプレビュー上限を超えています。");
    case Error::declarations:
        return QStringLiteral("DOCTYPE・ENTITY宣言を含むSVGはプレビューしません。本文は変更していません。");
    case Error::rootNotSVG: return QStringLiteral("ルート要素を <svg> にしてください。");
    }
    return parseMessage;
}

void SVGPreview::appendEscaped(QString& out, QStringView text)
{
    out.reserve(out.size() + text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QStringLiteral("&amp;"); break;
        case u'<': out += QStringLiteral("&lt;"); break;
        case u'>': out += QStringLiteral("&gt;"); break;
        case u'"': out += QStringLiteral("&quot;"); break;
        default: out += c; break;
        }
    }
}

SVGPreview::Output SVGPreview::page(const QString& svg)
{
    if (svg.size() > maximumLength) return failed(message(Error::tooLarge));
    if (hasDeclaration(svg)) return failed(message(Error::declarations));

    QXmlStreamReader reader(svg);
    Serializer serializer(reader);
    std::optional<Error> error;
    bool sawRoot = false;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || sawRoot) continue;
        sawRoot = true;
        if (reader.name() != QLatin1String("svg")) {
            error = Error::rootNotSVG;
            continue;
        }
        serializer.element(0);
        error = serializer.error_;
    }
    // The whole text must be well formed, whatever was found before the fault.
    if (reader.hasError() || !sawRoot) return failed(parseMessage);
    if (error) return failed(message(*error));

    Output output;
    output.html = head() + serializer.out_ + tail;
    output.valid = !serializer.out_.isEmpty();
    output.note = serializer.removed_ == 0
                      ? QStringLiteral("SVGプレビュー · SMIL / CSSアニメーション")
                      : QStringLiteral("SVGプレビュー（スクリプト・外部参照など") + QString::number(serializer.removed_)
                            + QStringLiteral("項目を除外）");
    return output;
}

}  // namespace korimado
