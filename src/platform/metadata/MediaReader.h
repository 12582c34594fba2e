#pragma once

#include "ContentAttributes.h"

namespace ovra {
class UserFile;
}

namespace ovra::md {

namespace MediaReader {

// Duration, tags, codecs and video size of an audio or video file, through
// libavformat. FFmpeg reads only through the open file we hand it; it never
// opens a path (nor any other file a playlist-like format might name).
void read(const UserFile& file, const QString& fileName, ContentAttributes& out);

} // namespace MediaReader

} // namespace ovra::md
