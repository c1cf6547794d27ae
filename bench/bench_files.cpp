// Users files of 1 and 10 MB (and 30 MB, near the largest the editor shows, with NORVANE_BENCH_LARGE set), 50 bytes a
// line with CRLF, in their editor: load and save, each paired with its floor in every iteration,
// QPlainTextEdit::setPlainText of the same text and a durable write of the same bytes.
#include "TextFileEditor.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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
    QString text;  // as it is handed to the document
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

// 1 and 10 MB; 30 MB only when asked for, since it takes a minute. Larger files are refused
// at load (TextFileEditor::MaxShownBytes).
void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1)->Arg(10);
    if (!qEnvironmentVariableIsEmpty("NORVANE_BENCH_LARGE"))
        b->Arg(30);
}

// Times `ours` and, right after it in each iteration, `floor`, so that both meet the machine
// in the same state (a shared machine's state moves a lot between runs): `ours` is the
// benchmark's time, `floor` the counter floor_ms. `prepare` runs untimed before each pair,
// and one untimed pair goes first, since the first run of either is slow.
template <typename Prepare, typename Ours, typename Floor>
void BesideItsFloor(benchmark::State& state, Prepare prepare, Ours ours, Floor floor) {
    prepare();
    ours();
    floor();
    double floorSeconds = 0;
    for (auto _ : state) {
        prepare();
        QElapsedTimer clock;
        clock.start();
        if (!ours())
            state.SkipWithError("the editor failed");
        const qint64 done = clock.nsecsElapsed();
        floor();
        floorSeconds += double(clock.nsecsElapsed() - done) / 1e9;
        state.SetIterationTime(double(done) / 1e9);
    }
    state.counters["floor_ms"] = benchmark::Counter(floorSeconds * 1e3, benchmark::Counter::kAvgIterations);
}

// A plain editor set up as the file editor is (font, no wrapping), so only our own work
// differs.
void LikeTheFileEditor(QPlainTextEdit& editor) {
    editor.setFont(TextFileEditor().font());
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
}

// The load, beside QPlainTextEdit::setPlainText of the same text.
void BM_EditorLoadFile(benchmark::State& state) {
    UsersFile& f = File(static_cast<int>(state.range(0)));
    TextFileEditor editor;
    editor.show();
    QPlainTextEdit plain;
    LikeTheFileEditor(plain);
    plain.show();
    // What the last pair left to paint is painted first, as it would be on screen.
    BesideItsFloor(
        state, [] { QCoreApplication::processEvents(); }, [&] { return editor.LoadFile(f.path); },
        [&] { plain.setPlainText(f.text); });
}
BENCHMARK(BM_EditorLoadFile)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The floor's write: the bytes into the file, made durable as a safe save must.
void DurableWrite(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    file.flush();
    ::fdatasync(file.handle());
    file.close();
}

// Saves beside a durable write of the same bytes; `edit` runs untimed before each.
template <typename Edit>
void SavesBesideTheirFloor(benchmark::State& state, TextFileEditor& editor, const QString& dir, Edit edit) {
    const QString out = dir + "/Users.saved";
    const QString floor = dir + "/Users.floor";
    QByteArray bytes;
    QString error;
    BesideItsFloor(
        state,
        [&] {
            edit();
            // The edit is painted before the save, as it is long before an operator saves.
            QCoreApplication::processEvents();
            bytes = editor.bytesToSave();
        },
        [&] { return editor.SaveFile(out, &error); }, [&] { DurableWrite(floor, bytes); });
}

// An edited save: a character typed in the middle line, or taken away again, then the file
// replaced through QSaveFile.
void BM_EditorSaveFileEdited(benchmark::State& state) {
    UsersFile& f = File(static_cast<int>(state.range(0)));
    TextFileEditor editor;
    editor.show();
    editor.LoadFile(f.path);
    QTextCursor cursor(editor.document()->findBlockByNumber(editor.document()->blockCount() / 2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    bool add = true;
    SavesBesideTheirFloor(state, editor, f.dir.path(), [&] {
        if (add)
            cursor.insertText(QStringLiteral("x"));
        else
            cursor.deletePreviousChar();
        add = !add;
    });
}
BENCHMARK(BM_EditorSaveFileEdited)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

// Saved unedited: the bytes as loaded.
void BM_EditorSaveFileUnedited(benchmark::State& state) {
    UsersFile& f = File(10);
    TextFileEditor editor;
    editor.show();
    editor.LoadFile(f.path);
    SavesBesideTheirFloor(state, editor, f.dir.path(), [] {});
}
BENCHMARK(BM_EditorSaveFileUnedited)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

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
