// A 10 MB users file of 200,000 lines in its editor: load and save, against
// QPlainTextEdit::setPlainText of the same text and a plain write of the same bytes.
#include "TextFileEditor.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTextDocument>
#include <QTemporaryDir>
#include <QTextCursor>

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

using namespace norvane;
using norvane::bench::BenchDir;

namespace {

struct UsersFile {
    QTemporaryDir dir{BenchDir()};
    QString path = dir.filePath("Users");
    QByteArray bytes;
    QString text;  // as the editor shows it
    UsersFile() {
        bytes.reserve(10'000'000);
        for (int i = 0; i < 200'000; ++i) {
            // 50 bytes a line with its CRLF: 10 MB in all.
            char line[64];
            const int n = std::snprintf(line, sizeof line, "user%06d Cleartext-Password := \"pw%08d\" # %02d\r\n", i,
                                        i * 7 % 100'000'000, i % 100);
            bytes.append(line, n);
        }
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        text = DecodeFileBytes(bytes).text;
    }
};

UsersFile& File() {
    static UsersFile file;
    return file;
}

void BM_EditorLoadFile(benchmark::State& state) {
    UsersFile& f = File();
    TextFileEditor editor;
    editor.show();
    for (auto _ : state)
        if (!editor.LoadFile(f.path))
            state.SkipWithError("LoadFile failed");
}
BENCHMARK(BM_EditorLoadFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_Floor_SetPlainText(benchmark::State& state) {
    UsersFile& f = File();
    QPlainTextEdit editor;
    editor.show();
    for (auto _ : state)
        editor.setPlainText(f.text);
}
BENCHMARK(BM_Floor_SetPlainText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// An edited save: the text is encoded again and replaces the file through QSaveFile.
void BM_EditorSaveFileEdited(benchmark::State& state) {
    UsersFile& f = File();
    TextFileEditor editor;
    editor.show();
    editor.LoadFile(f.path);
    const QString out = f.dir.filePath("Users.saved");
    bool add = true;
    for (auto _ : state) {
        state.PauseTiming();
        QTextCursor end(editor.document());
        end.movePosition(QTextCursor::End);
        if (add) {
            end.insertText(QStringLiteral("x"));
        } else {
            end.deletePreviousChar();
        }
        add = !add;
        state.ResumeTiming();
        QString error;
        if (!editor.SaveFile(out, &error))
            state.SkipWithError(error.toStdString().c_str());
    }
}
BENCHMARK(BM_EditorSaveFileEdited)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Saved unedited: the bytes as loaded.
void BM_EditorSaveFileUnedited(benchmark::State& state) {
    UsersFile& f = File();
    TextFileEditor editor;
    editor.show();
    editor.LoadFile(f.path);
    const QString out = f.dir.filePath("Users.saved");
    for (auto _ : state) {
        QString error;
        if (!editor.SaveFile(out, &error))
            state.SkipWithError(error.toStdString().c_str());
    }
}
BENCHMARK(BM_EditorSaveFileUnedited)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The floor's write: the bytes into the file, optionally made durable.
void PlainWrite(const QString& path, const QByteArray& bytes, bool durable = false) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    if (durable) {
        file.flush();
        ::fsync(file.handle());
    }
    file.close();
}

void BM_Floor_PlainWrite(benchmark::State& state) {
    UsersFile& f = File();
    const QString out = f.dir.filePath("Users.plain");
    for (auto _ : state)
        PlainWrite(out, f.bytes);
}
BENCHMARK(BM_Floor_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// What any Qt editor must do for an edited save at the least: take the text out of the
// document, encode it, write it.
void BM_Floor_QtTextOutAndWrite(benchmark::State& state) {
    UsersFile& f = File();
    QPlainTextEdit editor;
    editor.setPlainText(f.text);
    const QString out = f.dir.filePath("Users.plain");
    for (auto _ : state)
        PlainWrite(out, editor.toPlainText().toUtf8());
}
BENCHMARK(BM_Floor_QtTextOutAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The same write made durable, as a safe save must be.
void BM_Floor_PlainWriteFsync(benchmark::State& state) {
    UsersFile& f = File();
    const QString out = f.dir.filePath("Users.plain");
    for (auto _ : state)
        PlainWrite(out, f.bytes, true);
}
BENCHMARK(BM_Floor_PlainWriteFsync)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Where an editor save spends its time.
void BM_Part_ToRawText(benchmark::State& state) {
    UsersFile& f = File();
    TextFileEditor editor;
    editor.LoadFile(f.path);
    for (auto _ : state)
        benchmark::DoNotOptimize(editor.document()->toRawText());
}
BENCHMARK(BM_Part_ToRawText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_Part_CompareText(benchmark::State& state) {
    UsersFile& f = File();
    const QString copy = QString(f.text.constData(), f.text.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(copy == f.text);
}
BENCHMARK(BM_Part_CompareText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_Part_EncodeFileText(benchmark::State& state) {
    UsersFile& f = File();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            EncodeFileText(f.text, TextFileEditor::Encoding::Utf8, TextFileEditor::LineEnd::CrLf, false));
}
BENCHMARK(BM_Part_EncodeFileText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The two steps of encoding: every "\n" made "\r\n", then UTF-8.
void BM_Part_ReplaceNewlines(benchmark::State& state) {
    UsersFile& f = File();
    for (auto _ : state) {
        QString copy = f.text;
        benchmark::DoNotOptimize(copy.replace(u'\n', QStringLiteral("\r\n")));
    }
}
BENCHMARK(BM_Part_ReplaceNewlines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_Part_ToUtf8(benchmark::State& state) {
    UsersFile& f = File();
    for (auto _ : state)
        benchmark::DoNotOptimize(f.text.toUtf8());
}
BENCHMARK(BM_Part_ToUtf8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_Part_CanEncodeFileText(benchmark::State& state) {
    UsersFile& f = File();
    for (auto _ : state)
        benchmark::DoNotOptimize(CanEncodeFileText(f.text, TextFileEditor::Encoding::Latin1));
}
BENCHMARK(BM_Part_CanEncodeFileText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_Part_QSaveFile(benchmark::State& state) {
    UsersFile& f = File();
    const QString out = f.dir.filePath("Users.qsave");
    for (auto _ : state) {
        QSaveFile file(out);
        file.open(QIODevice::WriteOnly);
        file.write(f.bytes);
        file.commit();
    }
}
BENCHMARK(BM_Part_QSaveFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace
