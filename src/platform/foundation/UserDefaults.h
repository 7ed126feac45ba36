#pragma once

#include "platform/foundation/DefaultsValue.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>

class QTimer;

namespace korimado {

// The application's key-value settings store. Values written here win over registered defaults;
// the readers convert between kinds by fixed rules (see DefaultsValue). A store made with a path
// loads that JSON file and writes it back atomically shortly after each change and on destruction;
// one made without a path lives in memory only.
class UserDefaults {
public:
    UserDefaults();
    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The process-wide store at $XDG_CONFIG_HOME/<data folder>/defaults.json (Bundle), saved again at exit.
    static UserDefaults& standard();
    static QString standardFilePath();

    void registerDefaults(const DefaultsValue::Dictionary& defaults);

    // The stored value, else the registered default, else nothing.
    std::optional<DefaultsValue> object(const QString& key) const;
    // Numbers and numeric texts convert; anything else, or nothing, gives 0.
    qint64 integer(const QString& key) const;
    // Numbers, and texts such as "YES", "true" or "1", convert; anything else gives false.
    bool boolean(const QString& key) const;
    double doubleValue(const QString& key) const;
    // Texts, and numbers written as text; anything else gives nothing.
    std::optional<QString> string(const QString& key) const;
    std::optional<QByteArray> data(const QString& key) const;
    std::optional<DefaultsValue::Array> array(const QString& key) const;
    std::optional<DefaultsValue::Dictionary> dictionary(const QString& key) const;
    // The object under the key only when it is a number that is exactly an integer (never a text).
    std::optional<qint64> exactInteger(const QString& key) const;

    void set(const QString& key, const DefaultsValue& value);
    void setBool(const QString& key, bool value) { set(key, DefaultsValue(value)); }
    void setInteger(const QString& key, qint64 value) { set(key, DefaultsValue(value)); }
    void setDouble(const QString& key, double value) { set(key, DefaultsValue(value)); }
    void setString(const QString& key, const QString& value) { set(key, DefaultsValue(value)); }
    void setData(const QString& key, const QByteArray& value) { set(key, DefaultsValue(value)); }
    void removeObject(const QString& key);

    // The volatile argument domain: read before the stored values, never saved. Installed whole,
    // so that a caller can put back exactly what it found.
    DefaultsValue::Dictionary argumentDomain() const;
    void setArgumentDomain(const DefaultsValue::Dictionary& domain);

    // Registered defaults overlaid with the stored values and the argument domain.
    DefaultsValue::Dictionary dictionaryRepresentation() const;

    QString filePath() const { return filePath_; }
    // Writes pending changes now; true when nothing is pending afterwards. A file that exists but
    // could not be read is never written over: the changes then stay in memory.
    bool synchronize();

private:
    void load();
    void setAsideCorruptFile();
    void scheduleSave();

    const QString filePath_;
    mutable std::mutex mutex_;
    DefaultsValue::Dictionary values_;
    DefaultsValue::Dictionary arguments_;
    DefaultsValue::Dictionary registered_;
    bool dirty_ = false;
    bool keepsFileUntouched_ = false;  // the file exists but could not be read
    std::unique_ptr<QTimer> saveTimer_;
};

}  // namespace korimado
