// One load of a users file into a shown editor, ending when the load returns: for the
// whole-process peak memory beside its floor.
//   bench_fileload editor FILE   TextFileEditor::LoadFile
//   bench_fileload floor FILE    read, decode, QPlainTextEdit::setPlainText: what any Qt
//                                editor does to show the file
#include "TextFileEditor.h"

#include <QApplication>
#include <QFile>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[1], "editor") == 0) {
        norvane::TextFileEditor editor;
        editor.show();
        return editor.LoadFile(path) ? 0 : 1;
    }
    // Set up as the file editor is, so only its own work differs.
    QPlainTextEdit editor;
    editor.setFont(norvane::TextFileEditor().font());
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
    editor.show();
    QString text;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        text = QString::fromUtf8(file.readAll());
    }
    editor.setPlainText(text);
    return 0;
}
