// The settings exchange: reading and writing a settings archive of 10,000 files of 1 KiB beside
// cp -a of the same folder; reading and writing a 1 MiB Defaults-like property list in each
// format beside python3's plistlib on the same bytes; building an import report over 10,000 paths.
#include "BenchSupport.h"

#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/PropertyList.h"
#include "preferences/archive/SettingsArchive.h"
#include "preferences/archive/SettingsArchiveImportSummary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>

using namespace korimado;
using namespace korimado::bench;

namespace {

template <typename Work>
double medianMs(int runs, Work work)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        Stopwatch watch;
        work();
        samples.push_back(watch.ms());
    }
    return percentile(samples, 50);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A dictionary shaped like an editor's preferences: every kind of value, some nesting.
PropertyList defaultsLike(qsizetype targetXMLSize)
{
    PropertyList::Dictionary top;
    for (int i = 0;; ++i) {
        const QString key = QStringLiteral("preferenceKey%1").arg(i, 6, 10, QLatin1Char('0'));
        switch (i % 7) {
        case 0: top.insert(key, qint64(i) * 37); break;
        case 1: top.insert(key, i / 7.0); break;
        case 2: top.insert(key, i % 3 == 0); break;
        case 3: top.insert(key, QStringLiteral("値 %1 — some setting text that is long enough").arg(i)); break;
        case 4:
            top.insert(key, PropertyList::Array{QStringLiteral("utf-8"), QStringLiteral("shift_jis"), qint64(i)});
            break;
        case 5: {
            PropertyList::Dictionary nested;
            nested.insert(QStringLiteral("name"), QStringLiteral("snippet %1").arg(i));
            nested.insert(QStringLiteral("enabled"), true);
            top.insert(key, nested);
            break;
        }
        default: top.insert(key, QByteArray(32, char(i))); break;
        }
        if (i % 256 == 255 && PropertyList::xmlData(top).size() >= targetXMLSize) break;
    }
    return top;
}

// The old text form of a value, for the reader's input; every scalar written as a string.
void appendOpenStep(QByteArray& out, const PropertyList& value)
{
    switch (value.type()) {
    case PropertyList::Type::dictionary:
        out.append("{\n");
        for (const PropertyList::Entry& entry : value.dictionaryValue().entries()) {
            out.append(entry.key.toUtf8());
            out.append(" = ");
            appendOpenStep(out, entry.value);
            out.append(";\n");
        }
        out.append('}');
        return;
    case PropertyList::Type::array: {
        out.append('(');
        bool first = true;
        for (const PropertyList& item : value.arrayValue()) {
            if (!first) out.append(", ");
            first = false;
            appendOpenStep(out, item);
        }
        out.append(')');
        return;
    }
    case PropertyList::Type::data: out.append('<' + value.dataValue().toHex() + '>'); return;
    case PropertyList::Type::string: out.append('"' + value.stringValue().toUtf8() + '"'); return;
    case PropertyList::Type::boolean: out.append(value.boolValue() ? "YES" : "NO"); return;
    case PropertyList::Type::integer: out.append(QByteArray::number(*value.integerValue())); return;
    case PropertyList::Type::real: out.append(QByteArray::number(value.realValue())); return;
    default: return;
    }
}

// plistlib on the same bytes, in the same run: one "name value" line per figure.
void plistlib(const QString& xmlPath, const QString& binaryPath, const QString& fontPath)
{
    static const char* script = R"(
import plistlib, sys, time
def median(work):
    samples = []
    for _ in range(5):
        t = time.perf_counter(); work(); samples.append((time.perf_counter() - t) * 1000)
    return sorted(samples)[2]
xml = open(sys.argv[1], 'rb').read()
binary = open(sys.argv[2], 'rb').read()
value = plistlib.loads(xml)
print('plistlib_xml_read_1mib_ms: %.3f' % median(lambda: plistlib.loads(xml)))
print('plistlib_xml_write_1mib_ms: %.3f' % median(lambda: plistlib.dumps(value, sort_keys=False)))
print('plistlib_binary_read_1mib_ms: %.3f' % median(lambda: plistlib.loads(binary)))
print('plistlib_binary_write_1mib_ms: %.3f' % median(lambda: plistlib.dumps(value, fmt=plistlib.FMT_BINARY, sort_keys=False)))
# Our two forms of one value read as the same value, and our font record as the keyed archive it is.
print('plistlib_reads_ours_equal: %d' % (plistlib.loads(binary) == value))
font = plistlib.loads(open(sys.argv[3], 'rb').read())
objects = font['$objects']
ok = (font['$archiver'] == 'NSKeyedArchiver' and font['$version'] == 100000 and objects[0] == '$null'
      and objects[font['$top']['root'].data]['NSSize'] == 12.5 and objects[objects[1]['NSName'].data] == 'DejaVu Sans Mono'
      and objects[objects[1]['$class'].data]['$classes'] == ['NSFont', 'NSObject'])
print('plistlib_reads_font_record: %d' % ok)
)";
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedChannels);
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(script), xmlPath, binaryPath, fontPath});
    if (!python.waitForFinished(120000)) std::printf("plistlib: not run\n");
}

void propertyLists(const QString& scratch)
{
    const PropertyList value = defaultsLike(1 << 20);
    const QByteArray xml = PropertyList::xmlData(value);
    const QByteArray binary = PropertyList::binaryData(value);
    QByteArray openStep;
    appendOpenStep(openStep, value);
    report("plist_entries", static_cast<double>(value.dictionaryValue().size()));
    report("plist_xml_bytes", static_cast<double>(xml.size()));
    report("plist_binary_bytes", static_cast<double>(binary.size()));
    report("plist_openstep_bytes", static_cast<double>(openStep.size()));

    report("plist_xml_read_1mib_ms", medianMs(5, [&] { PropertyList::read(xml); }));
    report("plist_xml_write_1mib_ms", medianMs(5, [&] { PropertyList::xmlData(value); }));
    report("plist_binary_read_1mib_ms", medianMs(5, [&] { PropertyList::read(binary); }));
    report("plist_binary_write_1mib_ms", medianMs(5, [&] { PropertyList::binaryData(value); }));
    report("plist_openstep_read_1mib_ms", medianMs(5, [&] { PropertyList::read(openStep); }));

    const QString xmlPath = scratch + QStringLiteral("/Defaults.xml.plist");
    const QString binaryPath = scratch + QStringLiteral("/Defaults.binary.plist");
    writeFile(xmlPath, xml);
    writeFile(binaryPath, binary);
    const QString fontPath = scratch + QStringLiteral("/font.bplist");
    writeFile(fontPath, KeyedArchive::encodeFont({QStringLiteral("DejaVu Sans Mono"), 12.5}));
    plistlib(xmlPath, binaryPath, fontPath);
}

void archives(const QString& scratch)
{
    const QString source = scratch + QStringLiteral("/Many.cotsettings");
    QDir().mkpath(source);
    PropertyList::Dictionary info;
    info.insert(QStringLiteral("date"), PropertyList::Date{0});
    info.insert(QStringLiteral("version"), "7.1.2");
    writeFile(source + QStringLiteral("/Info.plist"), PropertyList::xmlData(info));
    writeFile(source + QStringLiteral("/Defaults.plist"), PropertyList::xmlData(PropertyList::Dictionary()));
    const QByteArray kibibyte(1024, 'x');
    for (int folder = 0; folder < 100; ++folder) {
        const QString path = source + QStringLiteral("/Resources/f%1").arg(folder);
        QDir().mkpath(path);
        for (int i = 0; i < 100; ++i) writeFile(path + QStringLiteral("/%1.json").arg(i), kibibyte);
    }

    std::optional<SettingsArchive> archive;
    report("archive_read_10000_files_ms", medianMs(5, [&] { archive = SettingsArchive::read(source); }));
    const QString target = scratch + QStringLiteral("/Out.cotsettings");
    report("archive_write_10000_files_ms", medianMs(5, [&] { archive->write(target); }));

    const QString copy = scratch + QStringLiteral("/Copy.cotsettings");
    report("cp_a_10000_files_ms", medianMs(5, [&] {
               QDir(copy).removeRecursively();
               QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), source, copy});
           }));
}

void summary()
{
    SettingsArchive::Resources resources;
    FileWrapper syntaxes = FileWrapper::directory();
    SettingsResourceActivationSummary activation;
    for (int package = 0; package < 1000; ++package) {
        FileWrapper folder = FileWrapper::directory();
        for (int i = 0; i < 10; ++i) folder.addFileWrapper(QStringLiteral("f%1.json").arg(i), FileWrapper::regularFile("{}"));
        const QString name = QStringLiteral("P%1.cotsyntax").arg(package);
        syntaxes.addFileWrapper(name, folder);
        if (package % 2 == 0) activation.activated.append(QStringLiteral("Syntaxes/") + name);
        else if (package % 5 == 1) activation.rejected.insert(QStringLiteral("Syntaxes/") + name, QStringLiteral("理由"));
    }
    resources.insert(QStringLiteral("Syntaxes"), syntaxes);
    qsizetype length = 0;
    report("import_summary_10000_paths_ms", medianMs(5, [&] {
               SettingsArchiveImportSummary built;
               for (auto it = resources.cbegin(); it != resources.cend(); ++it) {
                   it.value().appendPaths(it.key(), built.preservedResources);
               }
               length = built.including(activation).displayText().size();
           }));
    report("import_summary_text_units", static_cast<double>(length));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    if (!scratch.isValid()) return 1;
    propertyLists(scratch.path());
    archives(scratch.path());
    summary();
    return 0;
}
