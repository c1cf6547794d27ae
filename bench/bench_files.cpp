// Users files of 1 and 10 MB (and 100 MB with NORVANE_BENCH_LARGE set), 50 bytes a line
// with CRLF, in their editor: load and save against QPlainTextEdit::setPlainText of the same
// text and a durable write of the same bytes.
#include "TextFileEditor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace norvane;
using norvane::bench::BenchDir;

namespace {

struct UsersFile {
    QTemporaryDir dir{BenchDir()};
    QString path = dir.filePath("Users");
    QByteArray bytes;
    QString text;   // as it is handed to the document
    explicit UsersFile(int megabytes) {
        const int lines = megabytes * 20'000;
        bytes.reserve(qsizetype(lines) * 50);
        for (int i = 0; i < lines; ++i) {
            char line[64];
            const int n = std::snprintf(line, sizeof line, "user%07d Cleartext-Password := \"pw%08d\" #%02d\r\n", i,
                                        i * 7 % 100'000'000, i % 100);
            bytes.append(line, n);
        }
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        text = DecodeFileContent(bytes).text;
    }
};

UsersFile& File(int megabytes) {
    static std::map<int, std::unique_ptr<UsersFile>> files;
    auto& file = files[megabytes];
    if (!file)
        file = std::make_unique<UsersFile>(megabytes);
    return *file;
}

// 1 and 10 MB; 100 MB only when asked for, since it takes minutes.
void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1)->Arg(10);
    if (!qEnvironmentVariableIsEmpty("NORVANE_BENCH_LARGE"))
        b->Arg(100);
}

void BM_EditorLoadFile(benchmark::State& state) {
    UsersFile& f = File(static_cast<int>(state.range(0)));
    TextFileEditor editor;
    editor.show();
    for (auto _ : state)
        if (!editor.LoadFile(f.path))
            state.SkipWithError("LoadFile failed");
}
BENCHMARK(BM_EditorLoadFile)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A plain editor set up as the file editor is (font, no wrapping), so only our own work
// differs.
void LikeTheFileEditor(QPlainTextEdit& editor) {
    editor.setFont(TextFileEditor().font());
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
}

void BM_Floor_SetPlainText(benchmark::State& state) {
    UsersFile& f = File(static_cast<int>(state.range(0)));
    QPlainTextEdit editor;
    LikeTheFileEditor(editor);
    editor.show();
    for (auto _ : state)
        editor.setPlainText(f.text);
}
BENCHMARK(BM_Floor_SetPlainText)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// An edited save: a character typed in the middle line, or taken away again, then the file
// replaced through QSaveFile.
void BM_EditorSaveFileEdited(benchmark::State& state) {
    const int megabytes = static_cast<int>(state.range(0));
    UsersFile& f = File(megabytes);
    TextFileEditor editor;
    editor.show();
    editor.LoadFile(f.path);
    const QString out = f.dir.filePath("Users.saved");
    QTextCursor cursor(editor.document()->findBlockByNumber(editor.document()->blockCount() / 2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    bool add = true;
    for (auto _ : state) {
        state.PauseTiming();
        if (add)
            cursor.insertText(QStringLiteral("x"));
        else
            cursor.deletePreviousChar();
        add = !add;
        // The edit is painted before the save, as it is long before an operator saves.
        QCoreApplication::processEvents();
        state.ResumeTiming();
        QString error;
        if (!editor.SaveFile(out, &error))
            state.SkipWithError(error.toStdString().c_str());
    }
}
BENCHMARK(BM_EditorSaveFileEdited)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Saved unedited: the bytes as loaded.
void BM_EditorSaveFileUnedited(benchmark::State& state) {
    UsersFile& f = File(10);
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

// The floor's write: the bytes into the file, made durable as a safe save must.
void DurableWrite(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    file.flush();
    ::fdatasync(file.handle());
    file.close();
}

void BM_Floor_DurableWrite(benchmark::State& state) {
    UsersFile& f = File(static_cast<int>(state.range(0)));
    const QString out = f.dir.filePath("Users.plain");
    for (auto _ : state)
        DurableWrite(out, f.bytes);
}
BENCHMARK(BM_Floor_DurableWrite)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// What any Qt editor must do for an edited save at the least: take the text out of the
// document, encode it, write it durably.
void BM_Floor_QtTextOutAndWrite(benchmark::State& state) {
    UsersFile& f = File(10);
    QPlainTextEdit editor;
    editor.setPlainText(f.text);
    const QString out = f.dir.filePath("Users.plain");
    for (auto _ : state)
        DurableWrite(out, editor.toPlainText().toUtf8());
}
BENCHMARK(BM_Floor_QtTextOutAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Where an edited save spends its time: working out the bytes, and QSaveFile's write,
// sync and rename.
void BM_Part_BytesToSave(benchmark::State& state) {
    UsersFile& f = File(10);
    TextFileEditor editor;
    editor.LoadFile(f.path);
    QTextCursor cursor(editor.document()->findBlockByNumber(editor.document()->blockCount() / 2));
    cursor.insertText(QStringLiteral("x"));
    for (auto _ : state)
        benchmark::DoNotOptimize(editor.bytesToSave());
}
BENCHMARK(BM_Part_BytesToSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_Part_QSaveFile(benchmark::State& state) {
    UsersFile& f = File(10);
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
