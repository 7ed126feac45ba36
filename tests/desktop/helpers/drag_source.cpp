// Another program for the desktop roads to drag from: a small window that starts a drag of the
// files or the text it was given when the mouse is pressed in it, through the X server's own drag
// and drop protocol, says how the target answered, and quits a little after the drop.
//
//   desktop_drag_source --files PATH...    a drag of file URLs (text/uri-list)
//   desktop_drag_source --text TEXT        a drag of plain text

#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

class DragSource : public QLabel {
public:
    explicit DragSource(QMimeData* (*make)(const QStringList&), QStringList values)
        : make_(make), values_(std::move(values))
    {
        setWindowTitle(QStringLiteral("drag-source"));
        setText(QStringLiteral("DRAG"));
        setAlignment(Qt::AlignCenter);
        setStyleSheet(QStringLiteral("background: #204080; color: white; font-size: 32px;"));
        resize(240, 160);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton) return;
        auto* drag = new QDrag(this);
        drag->setMimeData(make_(values_));
        // The answer the target gave to the last position; the drop itself comes after.
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        std::printf("%s\n", action == Qt::CopyAction ? "dropped" : "refused");
        std::fflush(stdout);
        // The target asks for the data after the button is let go: stay to hand it over.
        QTimer::singleShot(3000, qApp, &QApplication::quit);
    }

private:
    QMimeData* (*make_)(const QStringList&);
    QStringList values_;
};

QMimeData* files(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

QMimeData* text(const QStringList& words)
{
    auto* data = new QMimeData;
    data->setText(words.join(QLatin1Char(' ')));
    return data;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    if (args.size() < 2 || (args[0] != QLatin1String("--files") && args[0] != QLatin1String("--text"))) {
        std::fprintf(stderr, "usage: desktop_drag_source --files PATH... | --text TEXT\n");
        return 2;
    }
    const bool isFiles = args.takeFirst() == QLatin1String("--files");
    DragSource source(isFiles ? files : text, args);
    source.show();
    return app.exec();
}
