#pragma once

#include "IndexTable.h"

#include <QString>

#include <memory>
#include <vector>

namespace ovra::md {

// The index's tables on disk, so a start can refresh them instead of walking
// every scope again. A file that is damaged, cut short, inconsistent or of
// another version loads as nothing: the scopes are then walked as on a first
// start. The version before this one, whose entries hold no handle digest,
// loads with the digests not known. Recently-used times are not kept (the list
// is read again on load).
namespace TableFile {

std::vector<std::shared_ptr<Table>> load(const QString& file);
// The tables of a file's payload (of this version), the bytes after its checked
// header, read on up to `threads` threads (one table each at a time).
std::vector<std::shared_ptr<Table>> parsePayload(const char* payload, std::size_t size,
                                                 int threads = 1);
bool save(const QString& file, const std::vector<std::shared_ptr<const Table>>& tables);

} // namespace TableFile

} // namespace ovra::md
