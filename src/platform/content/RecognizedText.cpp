#include "RecognizedText.h"

#include <QIODevice>

namespace ovra::content {

void writeWords(QDataStream& out, const QList<RecognizedWord>& words)
{
    out << quint32(words.size());
    for (const RecognizedWord& word : words)
        out << word.text << word.box << qint32(word.line);
}

void readWords(QDataStream& in, QList<RecognizedWord>& words)
{
    quint32 count = 0;
    in >> count;
    // Each word takes at least its rectangle's 16 bytes and two counts.
    if (in.status() != QDataStream::Ok || !in.device() ||
        count > quint64(in.device()->bytesAvailable()) / 24) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    words.reserve(qsizetype(count));
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        RecognizedWord word;
        qint32 line = 0;
        in >> word.text >> word.box >> line;
        word.line = line;
        words.append(std::move(word));
    }
}

} // namespace ovra::content
