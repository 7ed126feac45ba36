// The peer for keystroke-to-screen figures: Qt's own plain text editor on one file, nothing else.
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: plain_editor_peer FILE\n", stderr);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) return 1;
    QPlainTextEdit editor;
    editor.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
    editor.setPlainText(QString::fromUtf8(file.readAll()));
    editor.resize(1200, 800);
    editor.show();
    return app.exec();
}
