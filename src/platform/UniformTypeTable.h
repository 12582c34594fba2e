#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace ovra {

// One declared uniform type: the identifiers of the tree that every file type
// hangs from, and the MIME types that take a place in it of our choosing rather
// than the one the MIME database's inheritance would give.
struct TypeDeclaration {
    // Null: the identifier is made from the first MIME type, as for an undeclared
    // MIME type, but the parents are the ones given here.
    const char* identifier;
    // Space-separated; the first is the preferred one. Names the MIME database may
    // lack (older or newer shared-mime-info) are fine: they are simply never met.
    const char* mimeTypes;
    // Space-separated identifiers, each declared on an earlier row.
    const char* parents;
    // Null: the MIME type's comment. Empty: no description, so the file's kind
    // reads from its extension.
    const char* description = nullptr;
    // Overrides the MIME type's preferred suffix where the database prefers an
    // unusual one ("qt" for QuickTime movies).
    const char* extension = nullptr;
};

// A name extension the MIME database does not know, for a declared type that
// must still be reachable from a file name (property lists, Swift sources).
struct ExtraExtension {
    const char* extension; // lower case, without the dot
    const char* identifier;
};

// The conformance tree, each type after its parents. Archives and disk images are fixed lists on
// purpose: the MIME database derives office documents, e-books and Java archives from
// application/zip, and none of them is an archive to the person looking for one.
inline constexpr TypeDeclaration kDeclaredTypes[] = {
    // The roots.
    {"public.item", "", "", "item"},
    {"public.content", "", "public.item", "content"},
    // An unknown binary file says nothing about itself: no description, so its
    // kind reads from its extension.
    {"public.data", "application/octet-stream", "public.item", ""},
    {"public.directory", "", "public.item", "directory"},
    {"public.folder", "inode/directory", "public.directory"},
    {"com.apple.package", "", "public.directory", "package"},
    {"public.symlink", "inode/symlink", "public.item"},
    {"public.executable", "", "public.item", "executable"},
    {"public.unix-executable", "application/x-executable application/x-pie-executable",
     "public.data public.executable"},

    // Text, plain and structured.
    {"public.text", "", "public.data public.content", "text"},
    {"public.plain-text", "text/plain", "public.text"},
    {"public.delimited-values-text", "", "public.text", "delimited values text"},
    {"public.comma-separated-values-text", "text/csv", "public.delimited-values-text"},
    {"public.tab-separated-values-text", "text/tab-separated-values",
     "public.delimited-values-text"},
    {"public.rtf", "application/rtf text/rtf", "public.text"},
    {"public.html", "text/html", "public.text"},
    {"public.xml", "application/xml text/xml", "public.text"},
    {"public.json", "application/json", "public.text"},
    {"com.apple.property-list", "application/x-plist", "public.data", "property list", "plist"},
    {"net.daringfireball.markdown", "text/markdown text/x-markdown", "public.plain-text"},

    // Source code: what the MIME database calls "source code" or "script".
    {"public.source-code", "", "public.plain-text", "source code"},
    {"public.script", "", "public.source-code", "script"},
    {"public.shell-script", "application/x-shellscript text/x-sh", "public.script"},
    {"public.python-script", "text/x-python text/x-python3", "public.script"},
    {"public.perl-script", "application/x-perl", "public.script"},
    {"public.ruby-script", "application/x-ruby", "public.script"},
    {"public.php-script", "application/x-php", "public.script"},
    {"com.netscape.javascript-source", "application/javascript", "public.script"},
    {nullptr, "application/ecmascript", "public.script"},
    {nullptr, "text/x-lua", "public.script"},
    {nullptr, "text/tcl", "public.script"},
    {nullptr, "application/x-awk", "public.script"},
    {nullptr, "text/vbscript", "public.script"},
    {nullptr, "application/vnd.coffeescript", "public.script"},
    {nullptr, "application/x-gdscript", "public.script"},
    {"public.swift-source", "text/x-swift", "public.source-code", "Swift source code", "swift"},
    {"public.c-source", "text/x-csrc", "public.source-code"},
    {"public.c-header", "text/x-chdr", "public.source-code"},
    {"public.c-plus-plus-source", "text/x-c++src", "public.source-code"},
    {"public.c-plus-plus-header", "text/x-c++hdr", "public.source-code"},
    {"public.objective-c-source", "text/x-objcsrc", "public.source-code"},
    {"public.objective-c-plus-plus-source", "text/x-objc++src", "public.source-code"},
    {"com.sun.java-source", "text/x-java", "public.source-code"},
    {nullptr, "text/rust", "public.source-code"},
    {nullptr, "text/x-go", "public.source-code"},
    {nullptr, "text/x-kotlin", "public.source-code"},
    {nullptr, "text/x-scala", "public.source-code"},
    {nullptr, "text/x-csharp", "public.source-code"},
    {nullptr, "text/x-dsrc", "public.source-code"},
    {nullptr, "text/x-vala", "public.source-code"},
    {nullptr, "text/x-haskell", "public.source-code"},
    {nullptr, "text/x-literate-haskell", "public.source-code"},
    {nullptr, "text/x-ocaml", "public.source-code"},
    {nullptr, "text/x-erlang", "public.source-code"},
    {nullptr, "text/x-elixir", "public.source-code"},
    {nullptr, "text/x-dart", "public.source-code"},
    {nullptr, "text/x-crystal", "public.source-code"},
    {nullptr, "text/x-fortran", "public.source-code"},
    {nullptr, "text/x-pascal", "public.source-code"},
    {nullptr, "text/x-adasrc", "public.source-code"},
    {nullptr, "text/x-cobol", "public.source-code"},
    {nullptr, "text/x-common-lisp", "public.source-code"},
    {nullptr, "text/x-emacs-lisp", "public.source-code"},
    {nullptr, "text/x-scheme", "public.source-code"},
    {nullptr, "text/x-eiffel", "public.source-code"},
    {nullptr, "text/x-genie", "public.source-code"},
    {nullptr, "text/x-groovy", "public.source-code"},
    {nullptr, "text/x-opencl-src", "public.source-code"},
    {nullptr, "text/x-verilog", "public.source-code"},
    {nullptr, "text/x-vhdl", "public.source-code"},
    {nullptr, "text/x-matlab", "public.source-code"},
    {nullptr, "text/x-qml", "public.source-code"},
    {nullptr, "text/x-cmake", "public.source-code"},
    {nullptr, "text/x-makefile", "public.source-code"},
    {nullptr, "text/x-meson", "public.source-code"},
    {nullptr, "application/sql", "public.source-code"},
    {nullptr, "text/css", "public.source-code"},
    {nullptr, "text/x-scss", "public.source-code"},
    {nullptr, "text/x-sass", "public.source-code"},

    // What a person downloads to install software: the disk images, packages
    // and self-extracting scripts below all conform to this one type, so one
    // query finds every old installer.
    {"org.ovra.installer", "", "public.data", "installer"},
    {"org.ovra.run-installer", "", "org.ovra.installer", "self-extracting installer", "run"},

    // Executables and applications. On Linux a desktop entry or an AppImage is
    // what an application bundle is on the Mac; an ELF binary is not an app.
    {"com.apple.application", "", "public.executable", "application"},
    {"com.apple.application-bundle", "", "com.apple.application", "application"},
    {"org.freedesktop.desktop-entry", "application/x-desktop",
     "com.apple.application-bundle public.plain-text"},
    {"org.appimage.appimage", "application/vnd.appimage application/x-iso9660-appimage",
     "com.apple.application-bundle public.data org.ovra.installer"},

    // Images.
    {"public.image", "", "public.data public.content", "image"},
    {"public.png", "image/png", "public.image"},
    {"public.jpeg", "image/jpeg", "public.image"},
    {"com.compuserve.gif", "image/gif", "public.image"},
    {"com.microsoft.bmp", "image/bmp", "public.image"},
    {"public.tiff", "image/tiff", "public.image"},
    {"org.webmproject.webp", "image/webp", "public.image"},
    {"public.heif", "image/heif image/heic image/heif-sequence image/heic-sequence",
     "public.image"},
    {"public.avif", "image/avif", "public.image"},
    {"public.svg-image", "image/svg+xml", "public.image"},
    {"public.jpeg-2000", "image/jp2", "public.image"},
    {"com.microsoft.ico", "image/vnd.microsoft.icon", "public.image"},
    {"com.apple.icns", "image/x-icns", "public.image"},
    {"com.adobe.photoshop-image", "image/vnd.adobe.photoshop", "public.image"},
    {"com.truevision.tga-image", "image/x-tga", "public.image"},
    {"com.ilm.openexr-image", "image/x-exr", "public.image"},
    {"public.camera-raw-image", "image/x-dcraw", "public.image"},
    {"com.canon.cr2-raw-image", "image/x-canon-cr2", "public.camera-raw-image"},
    {"com.canon.cr3-raw-image", "image/x-canon-cr3", "public.camera-raw-image"},
    {"com.canon.crw-raw-image", "image/x-canon-crw", "public.camera-raw-image"},
    {"com.nikon.raw-image", "image/x-nikon-nef", "public.camera-raw-image"},
    {"com.nikon.nrw-raw-image", "image/x-nikon-nrw", "public.camera-raw-image"},
    {"com.sony.arw-raw-image", "image/x-sony-arw", "public.camera-raw-image"},
    {"com.adobe.raw-image", "image/x-adobe-dng", "public.camera-raw-image"},
    {"com.fuji.raw-image", "image/x-fuji-raf", "public.camera-raw-image"},
    {"com.olympus.raw-image", "image/x-olympus-orf", "public.camera-raw-image"},
    {"com.panasonic.rw2-raw-image", "image/x-panasonic-rw2", "public.camera-raw-image"},
    {"com.pentax.raw-image", "image/x-pentax-pef", "public.camera-raw-image"},

    // Sound and moving pictures.
    {"public.audiovisual-content", "", "public.data public.content", "audiovisual content"},
    {"public.movie", "", "public.audiovisual-content", "movie"},
    {"public.video", "", "public.movie", "video"},
    {"public.audio", "", "public.audiovisual-content", "audio"},
    {"public.mpeg-4", "video/mp4", "public.movie"},
    {"com.apple.quicktime-movie", "video/quicktime", "public.movie", nullptr, "mov"},
    {"public.mpeg", "video/mpeg", "public.movie"},
    {"public.mpeg-2-transport-stream", "video/mp2t", "public.movie", nullptr, "ts"},
    {"public.avi", "video/x-msvideo", "public.movie"},
    {"public.3gpp", "video/3gpp", "public.movie"},
    {"public.3gpp2", "video/3gpp2", "public.movie"},
    {"public.dv-movie", "video/dv", "public.movie"},
    {"org.matroska.mkv", "video/x-matroska", "public.movie"},
    {"org.webmproject.webm", "video/webm", "public.movie"},
    {"org.xiph.ogv", "video/ogg", "public.movie"},
    {"com.microsoft.windows-media-wmv", "video/x-ms-wmv", "public.movie"},
    {"com.adobe.flash.video", "video/x-flv", "public.movie"},
    {"public.mp3", "audio/mpeg", "public.audio"},
    {"public.mpeg-4-audio", "audio/mp4", "public.audio"},
    {"public.aac-audio", "audio/aac", "public.audio"},
    {"public.ac3-audio", "audio/ac3", "public.audio"},
    {"org.xiph.flac", "audio/flac", "public.audio"},
    {"org.xiph.ogg-audio", "audio/ogg audio/x-vorbis+ogg", "public.audio"},
    {"org.xiph.opus", "audio/x-opus+ogg", "org.xiph.ogg-audio"},
    {"com.microsoft.waveform-audio", "audio/x-wav", "public.audio"},
    {"public.aiff-audio", "audio/x-aiff", "public.audio"},
    {"public.aifc-audio", "audio/x-aifc", "public.audio"},
    {"com.microsoft.windows-media-wma", "audio/x-ms-wma", "public.audio"},
    {"public.midi-audio", "audio/midi", "public.audio"},

    // Documents.
    {"public.composite-content", "", "public.content", "composite content"},
    {"com.adobe.pdf", "application/pdf", "public.data public.composite-content"},
    {"com.microsoft.word.doc", "application/msword", "public.data public.composite-content"},
    {nullptr, "application/msword-template", "public.data public.composite-content"},
    {"org.openxmlformats.wordprocessingml.document",
     "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
     "public.data public.composite-content"},
    {nullptr, "application/vnd.openxmlformats-officedocument.wordprocessingml.template",
     "public.data public.composite-content"},
    {"org.oasis-open.opendocument.text", "application/vnd.oasis.opendocument.text",
     "public.data public.composite-content"},
    {nullptr, "application/vnd.oasis.opendocument.text-template",
     "public.data public.composite-content"},
    {nullptr, "application/vnd.oasis.opendocument.text-master",
     "public.data public.composite-content"},
    {nullptr, "application/vnd.sun.xml.writer", "public.data public.composite-content"},
    {nullptr, "application/vnd.sun.xml.writer.template", "public.data public.composite-content"},
    {nullptr, "application/vnd.oasis.opendocument.text-flat-xml",
     "public.data public.composite-content"},
    {nullptr, "application/x-abiword", "public.data public.composite-content"},
    {nullptr, "application/x-fictionbook+xml", "public.data public.composite-content"},
    {"com.apple.iwork.pages.pages", "application/vnd.apple.pages",
     "public.data public.composite-content"},
    {"org.idpf.epub-container", "application/epub+zip", "public.data public.composite-content"},

    {"public.spreadsheet", "", "public.content", "spreadsheet"},
    {"com.microsoft.excel.xls", "application/vnd.ms-excel", "public.data public.spreadsheet"},
    {"org.openxmlformats.spreadsheetml.sheet",
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
     "public.data public.spreadsheet"},
    {nullptr, "application/vnd.openxmlformats-officedocument.spreadsheetml.template",
     "public.data public.spreadsheet"},
    {"org.oasis-open.opendocument.spreadsheet", "application/vnd.oasis.opendocument.spreadsheet",
     "public.data public.spreadsheet"},
    {nullptr, "application/vnd.oasis.opendocument.spreadsheet-template",
     "public.data public.spreadsheet"},
    {nullptr, "application/vnd.oasis.opendocument.spreadsheet-flat-xml",
     "public.data public.spreadsheet"},
    {nullptr, "application/vnd.sun.xml.calc", "public.data public.spreadsheet"},
    {nullptr, "application/vnd.sun.xml.calc.template", "public.data public.spreadsheet"},
    {nullptr, "application/x-gnumeric", "public.data public.spreadsheet"},
    {"com.apple.iwork.numbers.numbers", "application/vnd.apple.numbers",
     "public.data public.spreadsheet"},

    {"public.presentation", "", "public.content", "presentation"},
    {"com.microsoft.powerpoint.ppt", "application/vnd.ms-powerpoint",
     "public.data public.presentation", nullptr, "ppt"},
    {"org.openxmlformats.presentationml.presentation",
     "application/vnd.openxmlformats-officedocument.presentationml.presentation",
     "public.data public.presentation"},
    {nullptr, "application/vnd.openxmlformats-officedocument.presentationml.slideshow",
     "public.data public.presentation"},
    {nullptr, "application/vnd.openxmlformats-officedocument.presentationml.template",
     "public.data public.presentation"},
    {nullptr, "application/vnd.openxmlformats-officedocument.presentationml.slide",
     "public.data public.presentation"},
    {"org.oasis-open.opendocument.presentation", "application/vnd.oasis.opendocument.presentation",
     "public.data public.presentation"},
    {nullptr, "application/vnd.oasis.opendocument.presentation-template",
     "public.data public.presentation"},
    {nullptr, "application/vnd.oasis.opendocument.presentation-flat-xml",
     "public.data public.presentation"},
    {nullptr, "application/vnd.sun.xml.impress", "public.data public.presentation"},
    {nullptr, "application/vnd.sun.xml.impress.template", "public.data public.presentation"},
    {"com.apple.iwork.keynote.key", "application/vnd.apple.keynote",
     "public.data public.presentation"},

    // Archives: compressors, archivers and software packages.
    {"public.archive", "", "public.data", "archive"},
    {"public.zip-archive", "application/zip application/x-zip-compressed", "public.archive"},
    {"public.tar-archive", "application/x-tar", "public.archive"},
    {"org.gnu.gnu-zip-archive", "application/gzip", "public.archive"},
    {"org.gnu.gnu-zip-tar-archive", "application/x-compressed-tar", "public.archive"},
    {"public.bzip2-archive", "application/x-bzip application/x-bzip2", "public.archive"},
    {"org.7-zip.7-zip-archive", "application/x-7z-compressed", "public.archive"},
    {"com.rarlab.rar-archive", "application/vnd.rar", "public.archive"},
    {"public.cpio-archive", "application/x-cpio", "public.archive"},
    {nullptr, "application/x-bzip-compressed-tar application/x-bzip2-compressed-tar",
     "public.archive", nullptr, "tar.bz2"},
    {nullptr, "application/x-xz", "public.archive"},
    {nullptr, "application/x-xz-compressed-tar", "public.archive"},
    {nullptr, "application/zstd", "public.archive"},
    {nullptr, "application/x-zstd-compressed-tar", "public.archive", nullptr, "tar.zst"},
    {nullptr, "application/x-lzma", "public.archive"},
    {nullptr, "application/x-lzma-compressed-tar", "public.archive", nullptr, "tar.lzma"},
    {nullptr, "application/x-lzip", "public.archive"},
    {nullptr, "application/x-lzip-compressed-tar", "public.archive"},
    {nullptr, "application/x-lz4", "public.archive"},
    {nullptr, "application/x-lz4-compressed-tar", "public.archive"},
    {nullptr, "application/x-lrzip", "public.archive"},
    {nullptr, "application/x-lrzip-compressed-tar", "public.archive"},
    {nullptr, "application/x-lzop", "public.archive"},
    {nullptr, "application/x-tzo", "public.archive"},
    {nullptr, "application/x-compress", "public.archive"},
    {nullptr, "application/x-tarz", "public.archive"},
    {nullptr, "application/x-cpio-compressed", "public.archive"},
    {nullptr, "application/x-archive", "public.archive"},
    {nullptr, "application/vnd.ms-cab-compressed", "public.archive"},
    {nullptr, "application/x-arj", "public.archive"},
    {nullptr, "application/x-lha", "public.archive"},
    {nullptr, "application/x-ace", "public.archive"},
    {nullptr, "application/x-alz", "public.archive"},
    {nullptr, "application/x-zoo", "public.archive"},
    {nullptr, "application/x-xar", "public.archive"},
    {nullptr, "application/x-stuffit", "public.archive"},
    {nullptr, "application/vnd.debian.binary-package", "public.archive org.ovra.installer"},
    {nullptr, "application/x-rpm", "public.archive org.ovra.installer"},
    {nullptr, "application/vnd.flatpak.ref", "org.ovra.installer"},
    {nullptr, "application/x-source-rpm", "public.archive"},
    {nullptr, "application/x-ustar", "public.archive"},
    {nullptr, "application/x-bcpio", "public.archive"},
    {nullptr, "application/x-sv4cpio", "public.archive"},
    {nullptr, "application/x-sv4crc", "public.archive"},
    {nullptr, "application/x-arc", "public.archive"},
    {nullptr, "application/x-lhz", "public.archive"},
    {nullptr, "application/x-dar", "public.archive"},

    // Disk images. As on the Mac they are not archives; every kind sits below
    // com.apple.disk-image so that the archives query finds them all.
    {"public.disk-image", "", "public.data", "disk image"},
    {"com.apple.disk-image", "", "public.disk-image", "disk image"},
    {"com.apple.disk-image-udif", "application/x-apple-diskimage", "com.apple.disk-image"},
    {"public.iso-image", "application/x-cd-image", "com.apple.disk-image org.ovra.installer"},
    {nullptr, "application/x-raw-disk-image", "com.apple.disk-image org.ovra.installer", nullptr,
     "img"},
    {nullptr, "application/x-raw-disk-image-xz-compressed", "com.apple.disk-image", nullptr,
     "img.xz"},
    {nullptr, "application/x-compressed-iso", "com.apple.disk-image"},
    {nullptr, "application/x-raw-floppy-disk-image", "com.apple.disk-image"},
    {nullptr, "application/x-vhd-disk", "com.apple.disk-image"},
    {nullptr, "application/x-vhdx-disk", "com.apple.disk-image"},
    {nullptr, "application/x-vmdk-disk", "com.apple.disk-image"},
    {nullptr, "application/x-vdi-disk", "com.apple.disk-image"},
    {nullptr, "application/x-qemu-disk", "com.apple.disk-image"},
    {nullptr, "application/x-qed-disk", "com.apple.disk-image"},
    {nullptr, "application/vnd.squashfs", "com.apple.disk-image"},
    {nullptr, "application/x-discjuggler-cd-image", "com.apple.disk-image"},
};

inline constexpr ExtraExtension kExtraExtensions[] = {
    {"plist", "com.apple.property-list"}, {"swift", "public.swift-source"},
    {"bash", "public.shell-script"},      {"zsh", "public.shell-script"},
    {"run", "org.ovra.run-installer"},
};

// The interned number of a declared identifier: rows are interned in order from 1,
// so the well-known types need no lookup, and a misspelt one does not compile.
consteval std::uint16_t declaredId(std::string_view identifier)
{
    for (std::size_t i = 0; i < std::size(kDeclaredTypes); ++i) {
        if (kDeclaredTypes[i].identifier && identifier == kDeclaredTypes[i].identifier)
            return std::uint16_t(i + 1);
    }
    throw "not a declared identifier";
}

} // namespace ovra
