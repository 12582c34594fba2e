#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>

// The parsers of untrusted input, each as one entry that takes arbitrary bytes.
// libFuzzer drives one entry per program (built with OVRA_FUZZ=ON); the replay
// tests call the same entries over every file of each corpus, so an input that
// once broke a parser keeps being tried by every build.
namespace ovra::fuzz {

using Entry = void (*)(const std::uint8_t* data, std::size_t size);

struct Target {
    const char* name; // also the corpus folder's name, fuzz/corpus/NAME
    Entry entry;
};

void query(const std::uint8_t* data, std::size_t size);
void naturalSearch(const std::uint8_t* data, std::size_t size);
void downloadSources(const std::uint8_t* data, std::size_t size);
void imageHeader(const std::uint8_t* data, std::size_t size);
void exif(const std::uint8_t* data, std::size_t size);
void html(const std::uint8_t* data, std::size_t size);
void rtf(const std::uint8_t* data, std::size_t size);
void docx(const std::uint8_t* data, std::size_t size);
void odt(const std::uint8_t* data, std::size_t size);
void pdf(const std::uint8_t* data, std::size_t size);
void textIndex(const std::uint8_t* data, std::size_t size);
void settings(const std::uint8_t* data, std::size_t size);
void attributeCache(const std::uint8_t* data, std::size_t size);
void contentDatabase(const std::uint8_t* data, std::size_t size);
void savedIndex(const std::uint8_t* data, std::size_t size);
void desktopEntry(const std::uint8_t* data, std::size_t size);
void mimeApps(const std::uint8_t* data, std::size_t size);
void recentlyUsed(const std::uint8_t* data, std::size_t size);
void userDirs(const std::uint8_t* data, std::size_t size);
void appcast(const std::uint8_t* data, std::size_t size);
void uniformType(const std::uint8_t* data, std::size_t size);
void textIndexRoundTrip(const std::uint8_t* data, std::size_t size);
void savedIndexRoundTrip(const std::uint8_t* data, std::size_t size);
void savedIndexFile(const std::uint8_t* data, std::size_t size);
void savedIndexRefresh(const std::uint8_t* data, std::size_t size);
void extractReplies(const std::uint8_t* data, std::size_t size);
void extractRequests(const std::uint8_t* data, std::size_t size);
void storedThumbnail(const std::uint8_t* data, std::size_t size);
void iconTheme(const std::uint8_t* data, std::size_t size);
void settingsRoundTrip(const std::uint8_t* data, std::size_t size);
void ownFile(const std::uint8_t* data, std::size_t size);

std::span<const Target> targets();

// A private folder for the entries that need files, made on first use. HOME and
// the XDG folders point into it, so no entry ever reads or writes the user's own
// settings and caches; a Qt core application exists from then on.
const QString& scratchFolder();
// Writes the bytes to `name` inside the scratch folder and returns its path.
QString writeScratchFile(const QString& name, const std::uint8_t* data, std::size_t size);

} // namespace ovra::fuzz
