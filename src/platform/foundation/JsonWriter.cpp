#include "platform/foundation/JsonWriter.h"

#include <algorithm>

namespace korimado {

namespace {

class Writer {
public:
    explicit Writer(JsonWriter::Options options) : options_(options) {}

    void value(const JsonValue& v, int depth)
    {
        switch (v.type()) {
        case JsonValue::Type::null: out.append("null"); break;
        case JsonValue::Type::boolean: out.append(v.toBool() ? "true" : "false"); break;
        case JsonValue::Type::number: out.append(v.toNumberLiteral()); break;
        case JsonValue::Type::string: string(v.toString()); break;
        case JsonValue::Type::array: array(v.toArray(), depth); break;
        case JsonValue::Type::object: object(v.toObject(), depth); break;
        }
    }

    QByteArray out;

private:
    void newline(int depth)
    {
        if (!options_.prettyPrinted) return;
        out.append('\n');
        out.append(QByteArray(2 * depth, ' '));
    }

    void array(const JsonValue::Array& items, int depth)
    {
        out.append('[');
        if (items.empty()) {
            out.append(']');
            return;
        }
        for (size_t k = 0; k < items.size(); ++k) {
            if (k) out.append(',');
            newline(depth + 1);
            value(items[k], depth + 1);
        }
        newline(depth);
        out.append(']');
    }

    void object(const JsonValue::Object& members, int depth)
    {
        out.append('{');
        if (members.empty()) {
            out.append('}');
            return;
        }
        std::vector<const JsonMember*> order;
        order.reserve(members.size());
        for (const JsonMember& m : members) order.push_back(&m);
        if (options_.sortedKeys) {
            std::stable_sort(order.begin(), order.end(),
                             [](const JsonMember* a, const JsonMember* b) { return a->key < b->key; });
        }
        for (size_t k = 0; k < order.size(); ++k) {
            if (k) out.append(',');
            newline(depth + 1);
            string(order[k]->key);
            out.append(options_.prettyPrinted ? " : " : ":");
            value(order[k]->value, depth + 1);
        }
        newline(depth);
        out.append('}');
    }

    void escapeUnit(char16_t u)
    {
        static const char hex[] = "0123456789abcdef";
        out.append("\\u");
        out.append(hex[(u >> 12) & 0xF]);
        out.append(hex[(u >> 8) & 0xF]);
        out.append(hex[(u >> 4) & 0xF]);
        out.append(hex[u & 0xF]);
    }

    void string(const QString& s)
    {
        out.append('"');
        const char16_t* p = reinterpret_cast<const char16_t*>(s.utf16());
        const qsizetype n = s.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t u = p[i];
            switch (u) {
            case u'"': out.append("\\\""); continue;
            case u'\\': out.append("\\\\"); continue;
            case u'/': out.append(options_.escapesSolidus ? "\\/" : "/"); continue;
            case u'\b': out.append("\\b"); continue;
            case u'\f': out.append("\\f"); continue;
            case u'\n': out.append("\\n"); continue;
            case u'\r': out.append("\\r"); continue;
            case u'\t': out.append("\\t"); continue;
            default: break;
            }
            if (u < 0x20) {
                escapeUnit(u);
            } else if (u < 0x80) {
                out.append(char(u));
            } else if (u < 0x800) {
                out.append(char(0xC0 | (u >> 6)));
                out.append(char(0x80 | (u & 0x3F)));
            } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                const char32_t cp = QChar::surrogateToUcs4(u, p[i + 1]);
                ++i;
                out.append(char(0xF0 | (cp >> 18)));
                out.append(char(0x80 | ((cp >> 12) & 0x3F)));
                out.append(char(0x80 | ((cp >> 6) & 0x3F)));
                out.append(char(0x80 | (cp & 0x3F)));
            } else if (QChar::isSurrogate(u)) {
                escapeUnit(u);
            } else {
                out.append(char(0xE0 | (u >> 12)));
                out.append(char(0x80 | ((u >> 6) & 0x3F)));
                out.append(char(0x80 | (u & 0x3F)));
            }
        }
        out.append('"');
    }

    JsonWriter::Options options_;
};

}  // namespace

QByteArray JsonWriter::write(const JsonValue& value, Options options)
{
    Writer writer(options);
    writer.value(value, 0);
    return writer.out;
}

}  // namespace korimado
