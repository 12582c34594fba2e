#pragma once

#include "ContentAttributes.h"

#include <QString>

class QDataStream;

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ovra::md {

// What the index read from a file's content, remembered for the version of the
// file it was read from (path, size, modification time).
struct CachedAttributes {
    std::int64_t size = 0;
    double modified = 0;
    QString typeFromContent; // set when the name said nothing and the content was sniffed
    bool hasContent = false;
    ContentAttributes content;
    ReadAccess readAccess;
};

using AttributeMap = std::unordered_map<std::string, CachedAttributes>;

// The on-disk cache of content attributes. A damaged or foreign file reads as
// empty (everything is simply read again); writes replace the file atomically.
namespace AttributeCache {

AttributeMap load(const QString& file);
bool save(const QString& file, const AttributeMap& records);

// Writes `count` records, which `records` hands one at a time to the sink it
// is given: a cache made from a million-file index need not be held whole as
// well as written.
using RecordSink = std::function<void(std::string_view path, const CachedAttributes&)>;
bool save(const QString& file, quint64 count,
          const std::function<void(const RecordSink&)>& records);

// One file's content attributes in the cache's form; the saved index keeps
// them the same way. A read of damaged bytes sets the stream's status.
void writeContent(QDataStream& out, const ContentAttributes& content);
void readContent(QDataStream& in, ContentAttributes& content);

} // namespace AttributeCache

} // namespace ovra::md
