#pragma once

#include "OwnFile.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>

#include <sys/types.h>

namespace ovra {

// The one way the app replaces a file of its own (settings, indexes, caches,
// shared thumbnails): the bytes go to a temporary file beside it, which is
// flushed to the disk and only then renamed over the old file. Every step is
// checked; when one fails (a full disk, a file-size limit, a read-only folder)
// the temporary file goes, the old file stays as it was, and the failure is
// logged once for that file until a save of it succeeds again. The caller says
// whether a symbolic link at the path is followed: a settings file kept in a
// folder of dotfiles and linked in is replaced where it lives, in that folder,
// and the link stays; a cache or an index replaces the link itself and leaves
// what it names alone. Saving blocks on the disk: the GUI-thread check of
// UserFile covers it.
//
// A program that saves ignores SIGXFSZ (`failPastFileSizeLimit`), so a save
// past the file-size limit fails as one on a full disk does.
namespace AtomicSave {

// Whether the new file reaches the disk before it replaces the old one. A cache
// that is simply made again when it is lost can skip the flushes, which cost
// more than writing a small file: readers still never see half a file, but
// after a crash they may find an empty one.
enum class Flush { toDisk, none };

// `mode` is a new file's permissions before the umask; a file that replaces
// one keeps that one's permissions, and its group where this user may give it.
// The folder must exist.
bool save(const QString& path, QByteArrayView bytes, OwnFile::Links links, mode_t mode = 0666,
          Flush flush = Flush::toDisk);

// The file a save of `path` replaces: the path itself, or the end of its chain
// of links when they are followed, whether that file exists yet or not. Empty
// for a chain that never ends.
QString target(const QString& path, OwnFile::Links links);

// Moves a file that could not be read out of the way of the saves to come,
// renamed with ".unreadable" (or ".unreadable-2" and so on, when that name is
// taken) beside it, so it is never overwritten. True when it moved or nothing
// was there.
bool setAside(const QString& path);

// Removes from `folder` (not below it) the temporary files that saves left
// when they were cut short (a kill, a crash, a power cut): only temporaries of
// the files `isSavedThere` names (a name the folder's owner saves; a user's
// file that merely looks like a temporary is left alone), owned by this user,
// and only when no save can still be writing one, because the process that
// made it is gone or it has not changed for an hour. One untouched for less
// than a minute is always kept. Returns how many went.
int removeStaleTemporaries(const QString& folder,
                           const std::function<bool(QByteArrayView name)>& isSavedThere);
// The same for the temporaries of the files of these names.
int removeStaleTemporaries(const QString& folder, const QStringList& savedNames);
// The same for the temporaries of saves of `path` alone, in the folder those
// saves write in: beside `target`, where a ".." after a link leads as the
// kernel takes it.
int removeStaleTemporariesOf(const QString& path, OwnFile::Links links);

// Makes a write past the process's file-size limit (ulimit -f) fail with EFBIG,
// as a full disk's does, instead of ending the process with SIGXFSZ: a program
// that saves calls it first thing in main.
void failPastFileSizeLimit();

} // namespace AtomicSave

} // namespace ovra
