#pragma once

#include <QThreadPool>

namespace ovra {

// The threads that read what a preview shows: pictures, PDF pages, the head of
// a text file, a file's information and the words in a picture. Private, so a
// preview never waits behind the thumbnails of a long grid or an indexing run;
// its threads stay, since each keeps a recognition engine that is slow to load.
QThreadPool& previewPool();

} // namespace ovra
