#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>

class QWidget;

namespace korimado {

// The web engine's side of the preview. It lives in a module of its own, loaded with the first
// preview shown, so that a program that shows none never maps the engine nor the OpenGL driver it
// brings up. Everything here is header-only: the module links to Qt alone, never to our libraries.
class PreviewBrowser {
public:
    enum class Kind { markdown, html, svg };

    // A file a page asked for, or why not.
    struct Answer {
        enum class Status { served, refused, failed };
        Status status = Status::refused;
        QByteArray data;
        QByteArray mimeType;
    };

    // What the module asks of the program; all called on the main thread.
    struct Host {
        std::function<void(bool ok)> loadFinished;
        // An http or https link the user activated, or one that asked for a new window; the
        // preview itself never follows it.
        std::function<void(const QUrl& url)> linkActivated;
        // Every request of our scheme: the page at our own address and the files beside it.
        // answer is called at most once, on the main thread; a request the engine dropped in the
        // meantime gets nothing.
        std::function<void(const QUrl& url, std::function<void(const Answer&)> answer)> request;
    };

    virtual ~PreviewBrowser() = default;

    virtual QWidget* widget() = 0;
    // Loads the address; kind decides where it may navigate afterwards. keepPosition: the new page
    // opens where the reader stood in the one before.
    virtual void load(const QUrl& url, Kind kind, bool keepPosition) = 0;
    virtual void setZoom(double factor) = 0;
    // What shows where the page paints nothing, also before its first paint: 0xRRGGBB.
    virtual void setBackground(quint32 rgb) = 0;
    // Runs script in the application world (page scripts stay off); done gets its value.
    virtual void evaluate(const QString& script, std::function<void(const QVariant&)> done) = 0;
    // Requests the network layer refused since the engine started.
    virtual int blockedRequests() const = 0;

    // The module's one entry point, found by this name.
    using Factory = PreviewBrowser* (*)(QWidget* parent, Host host);
    static constexpr const char* factoryName = "korimado_makePreviewBrowser";

    static constexpr const char* scheme = "kori-preview";
    static constexpr const char* host = "local";

    // Whatever a page's policy says, only our scheme and inline data leave the page.
    static bool allowsRequest(const QUrl& url)
    {
        const QString s = url.scheme().toLower();
        return s == QLatin1String(scheme) || s == QLatin1String("data") || s == QLatin1String("blob")
               || s == QLatin1String("about");
    }

    // The address a page is served at: our host's root with the page's number.
    static bool isPageAddress(const QUrl& url)
    {
        return url.scheme() == QLatin1String(scheme) && url.host() == QLatin1String(host)
               && (url.path().isEmpty() || url.path() == QLatin1String("/")) && url.hasQuery()
               && url.query().startsWith(QLatin1String("page="));
    }

    // A link never navigates the preview (http and https ones are offered to the browser); a
    // page load may reach about: and our page address, and, from an HTML page, our whole scheme.
    static bool allowsNavigation(const QUrl& url, bool linkActivation, Kind kind)
    {
        if (linkActivation) return false;
        const QString s = url.scheme().toLower();
        if (s == QLatin1String("about")) return true;
        if (s != QLatin1String(scheme)) return false;
        return kind == Kind::html || isPageAddress(url);
    }
};

}  // namespace korimado
