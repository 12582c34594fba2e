#pragma once

#include "ContentAttributes.h"
#include "MediaInput.h"

namespace ovra {
class UserFile;
}

namespace ovra::md {

namespace MediaReader {

// Duration, tags, codecs and video size of an audio or video file, through
// libavformat. FFmpeg reads only through the open file we hand it; it never
// opens a path (nor any other file a playlist-like format might name). False
// when the time budget ran out before the read was done: `out` then holds what
// was read by then, which is not all the file says.
bool read(const UserFile& file, const QString& fileName, ContentAttributes& out,
          const MediaInput::Budget& budget = {});

} // namespace MediaReader

} // namespace ovra::md
