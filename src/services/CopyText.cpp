#include "CopyText.h"

#include "TextIndex.h"
#include "TextRecognizer.h"
#include "library/AppState.h"
#include "platform/Background.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLocale>
#include <QPointer>

#include <algorithm>
#include <memory>

namespace ovra::CopyText {
namespace {

const QString kReadingSymbol = QStringLiteral("text.viewfinder");
const QString kNoTextSymbol = QStringLiteral("text.badge.xmark");
const QString kCopiedSymbol = QStringLiteral("doc.on.clipboard");
const QString kBlockSeparator = QStringLiteral("\n\n");

// One run's progress through its files, kept alive by the continuation that reads
// the next file.
struct Reading {
    QList<FileItem> files;
    qsizetype next = 0;
    QStringList parts;
    QPointer<TextIndex> index;
    QPointer<AppState> state;
};

void show(AppState& state, const QString& message, const QString& symbol, bool sticky = false)
{
    state.setToast(AppState::Toast::make(message, symbol, sticky));
}

QString readingMessage(qsizetype files)
{
    if (files == 1) return QStringLiteral("Reading text…");
    return QStringLiteral("Reading text in %1 files…").arg(files); // plain digits
}

// Lines as a reader counts them: every kind of line break ends one, and empty
// lines are not counted.
qsizetype lineCount(const QString& text)
{
    qsizetype lines = 0;
    bool inLine = false;
    for (const QChar c : text) {
        const bool isBreak = c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' ||
                             c == QChar(0x85) || c == QChar(0x2028) || c == QChar(0x2029);
        if (isBreak)
            inLine = false;
        else if (!inLine) {
            inLine = true;
            ++lines;
        }
    }
    return lines;
}

QString copiedMessage(qsizetype lines, qsizetype files)
{
    QString message =
        QStringLiteral("Copied ") + QLocale().toString(lines) +
        (lines == 1 ? QStringLiteral(" line of text") : QStringLiteral(" lines of text"));
    if (files >= 2) message += QStringLiteral(" from %1 files").arg(files);
    return message;
}

void addPart(Reading& reading, const FileItem& file, const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return;
    if (reading.files.size() == 1)
        reading.parts.append(trimmed);
    else
        reading.parts.append(QStringLiteral("— ") + file.name + QStringLiteral(" —\n") + trimmed);
}

void finish(const Reading& reading)
{
    AppState& state = *reading.state;
    const QString joined = reading.parts.join(kBlockSeparator);
    if (joined.isEmpty()) {
        show(state,
             reading.files.size() == 1 ? QStringLiteral("No text found in “") +
                                             reading.files.first().name + QStringLiteral("”")
                                       : QStringLiteral("No text found"),
             kNoTextSymbol);
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(joined);
    show(state, copiedMessage(lineCount(joined), reading.parts.size()), kCopiedSymbol);
}

// Files are read one at a time, in list order, so blocks keep the list's order
// and at most one recognition of a run is in flight.
void readNext(const std::shared_ptr<Reading>& reading)
{
    if (!reading->index || !reading->state) return;
    if (reading->next == reading->files.size()) {
        finish(*reading);
        return;
    }
    const FileItem file = reading->files.at(reading->next++);
    AppState* state = reading->state.data();
    background::then(reading->index->text(file), state,
                     [reading, file, state](const QString& text) {
                         addPart(*reading, file, text);
                         // Stored text arrives at once; a hop through the event loop keeps a long
                         // list of such files from nesting one call per file.
                         QMetaObject::invokeMethod(
                             state, [reading] { readNext(reading); }, Qt::QueuedConnection);
                     });
}

} // namespace

void run(const QList<FileItem>& items, TextIndex& index, AppState& state)
{
    auto reading = std::make_shared<Reading>();
    std::copy_if(items.cbegin(), items.cend(), std::back_inserter(reading->files),
                 &TextRecognizer::canRead);
    if (reading->files.isEmpty()) {
        show(state, QStringLiteral("Select an image or PDF to copy its text"), kReadingSymbol);
        return;
    }
    show(state, readingMessage(reading->files.size()), kReadingSymbol, true);
    reading->index = &index;
    reading->state = &state;
    readNext(reading);
}

} // namespace ovra::CopyText
