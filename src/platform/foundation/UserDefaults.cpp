#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace korimado {

namespace {

// Long enough to gather a burst of settings changes into one write.
constexpr int kSaveDelayMs = 300;

}  // namespace

UserDefaults::UserDefaults() = default;

UserDefaults::UserDefaults(const QString& filePath) : filePath_(filePath)
{
    load();
}

UserDefaults::~UserDefaults()
{
    synchronize();
}

UserDefaults& UserDefaults::standard()
{
    // Never destroyed: observers and late writers may still reach it while the process exits.
    static UserDefaults* const shared = [] {
        auto* defaults = new UserDefaults(standardFilePath());
        std::atexit([] { standard().synchronize(); });
        if (QCoreApplication::instance()) qAddPostRoutine([] { standard().synchronize(); });
        return defaults;
    }();
    return *shared;
}

QString UserDefaults::standardFilePath()
{
    return Bundle::configurationFilePath(QStringLiteral("defaults.json"));
}

void UserDefaults::registerDefaults(const DefaultsValue::Dictionary& defaults)
{
    std::lock_guard lock(mutex_);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) registered_.insert(it.key(), it.value());
}

std::optional<DefaultsValue> UserDefaults::object(const QString& key) const
{
    std::lock_guard lock(mutex_);
    auto it = arguments_.constFind(key);
    if (it != arguments_.cend()) return it.value();
    it = values_.constFind(key);
    if (it != values_.cend()) return it.value();
    it = registered_.constFind(key);
    if (it != registered_.cend()) return it.value();
    return std::nullopt;
}

qint64 UserDefaults::integer(const QString& key) const
{
    const auto value = object(key);
    return value ? value->convertedInteger().value_or(0) : 0;
}

bool UserDefaults::boolean(const QString& key) const
{
    const auto value = object(key);
    return value ? value->convertedBool().value_or(false) : false;
}

double UserDefaults::doubleValue(const QString& key) const
{
    const auto value = object(key);
    return value ? value->convertedDouble().value_or(0.0) : 0.0;
}

std::optional<QString> UserDefaults::string(const QString& key) const
{
    const auto value = object(key);
    return value ? value->convertedString() : std::nullopt;
}

std::optional<QByteArray> UserDefaults::data(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->isBytes()) return std::nullopt;
    return value->bytesValue();
}

std::optional<DefaultsValue::Array> UserDefaults::array(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->isArray()) return std::nullopt;
    return value->arrayValue();
}

std::optional<DefaultsValue::Dictionary> UserDefaults::dictionary(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->isDictionary()) return std::nullopt;
    return value->dictionaryValue();
}

std::optional<qint64> UserDefaults::exactInteger(const QString& key) const
{
    const auto value = object(key);
    return value ? value->exactInteger() : std::nullopt;
}

void UserDefaults::set(const QString& key, const DefaultsValue& value)
{
    {
        std::lock_guard lock(mutex_);
        auto it = values_.find(key);
        if (it != values_.end() && it.value() == value) return;
        values_.insert(key, value);
        dirty_ = true;
    }
    scheduleSave();
}

void UserDefaults::removeObject(const QString& key)
{
    {
        std::lock_guard lock(mutex_);
        if (values_.remove(key) == 0) return;
        dirty_ = true;
    }
    scheduleSave();
}

DefaultsValue::Dictionary UserDefaults::dictionaryRepresentation() const
{
    std::lock_guard lock(mutex_);
    DefaultsValue::Dictionary all = registered_;
    for (auto it = values_.cbegin(); it != values_.cend(); ++it) all.insert(it.key(), it.value());
    for (auto it = arguments_.cbegin(); it != arguments_.cend(); ++it) all.insert(it.key(), it.value());
    return all;
}

DefaultsValue::Dictionary UserDefaults::argumentDomain() const
{
    std::lock_guard lock(mutex_);
    return arguments_;
}

void UserDefaults::setArgumentDomain(const DefaultsValue::Dictionary& domain)
{
    std::lock_guard lock(mutex_);
    arguments_ = domain;
}

bool UserDefaults::synchronize()
{
    std::lock_guard lock(mutex_);
    if (!dirty_ || filePath_.isEmpty()) return !dirty_;
    // A file that could not be read may still hold the user's settings: never write over it.
    if (keepsFileUntouched_) return false;

    QJsonObject root;
    for (auto it = values_.cbegin(); it != values_.cend(); ++it) root.insert(it.key(), it.value().toJson());
    QDir().mkpath(QFileInfo(filePath_).absolutePath());
    QSaveFile file(filePath_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(jsonBytes(QJsonDocument(root)));
    if (!file.commit()) return false;
    dirty_ = false;
    return true;
}

void UserDefaults::load()
{
    struct stat info {};
    if (::stat(QFile::encodeName(filePath_).constData(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) keepsFileUntouched_ = true;
        return;
    }
    // Only a file that was read and does not parse is set aside as corrupt; one that cannot be
    // read (no permission, an I/O error) is kept as it is, and the settings live in memory only.
    QFile file(filePath_);
    if (!S_ISREG(info.st_mode) || !file.open(QIODevice::ReadOnly)) {
        keepsFileUntouched_ = true;
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        keepsFileUntouched_ = true;
        return;
    }
    file.close();
    // Read strictly: a file that is not JSON (a repeated key, a raw control character) is set
    // aside whole rather than read by guesswork.
    JsonValue root;
    try {
        root = JsonReader::parse(bytes);
    } catch (const JsonDecodingError&) {
        setAsideCorruptFile();
        return;
    }
    if (root.type() != JsonValue::Type::object) {
        setAsideCorruptFile();
        return;
    }
    bool damaged = false;
    for (const JsonMember& member : root.toObject()) {
        if (auto value = DefaultsValue::fromJson(member.value)) {
            values_.insert(member.key, *value);
        } else {
            damaged = true;
        }
    }
    if (damaged) {
        // Keep the unreadable entries on disk for the user, and the readable ones in use.
        setAsideCorruptFile();
        dirty_ = true;
        synchronize();
    }
}

void UserDefaults::setAsideCorruptFile()
{
    QString target = filePath_ + QStringLiteral(".corrupt");
    if (QFile::exists(target)) {
        target += QLatin1Char('-') + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    }
    QFile::rename(filePath_, target);
}

void UserDefaults::scheduleSave()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (filePath_.isEmpty() || !app) return;
    auto start = [this] {
        if (!saveTimer_) {
            saveTimer_ = std::make_unique<QTimer>();
            saveTimer_->setSingleShot(true);
            saveTimer_->setInterval(kSaveDelayMs);
            QObject::connect(saveTimer_.get(), &QTimer::timeout, [this] { synchronize(); });
        }
        saveTimer_->start();
    };
    if (QThread::currentThread() == app->thread()) {
        start();
    } else {
        QMetaObject::invokeMethod(app, start, Qt::QueuedConnection);
    }
}

}  // namespace korimado
