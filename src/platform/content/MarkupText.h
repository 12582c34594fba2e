#pragma once

#include <string_view>

namespace ovra::content {

class TextSink;

// The words of an HTML page: tags stripped (inline ones without breaking the word
// they sit in), scripts, styles and comments dropped, character references
// decoded. `isUtf8` false reads the bytes as Windows-1252.
void htmlToText(std::string_view html, bool isUtf8, TextSink& sink);

// The words of an RTF document: control words and the groups that hold no body
// text (font and colour tables, styles, pictures, ignorable destinations) dropped,
// escaped characters decoded (\'hh in Windows-1252, \uN).
void rtfToText(std::string_view rtf, TextSink& sink);

} // namespace ovra::content
