#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace ovra {

// A uniform type identifier ("public.png", "com.adobe.pdf", "public.folder") with
// conformance through the identifiers' tree, computed from the freedesktop MIME
// database. Values are interned: a UniformType is a small handle, cheap to copy
// and compare, and conformance is a bit test. Thread-safe.
class UniformType {
public:
    UniformType() = default; // the invalid type: conforms to nothing

    // A type by identifier. Known identifiers are the declared tree (below) and any
    // identifier made earlier for a MIME type; anything else yields nothing.
    static std::optional<UniformType> withIdentifier(QStringView identifier);
    // The type for a MIME type name ("image/png"), following MIME aliases.
    static UniformType forMimeType(const QString& mimeType);
    // The type that a file name says (glob rules of the MIME database); invalid when
    // the name says nothing.
    static UniformType forFileName(QStringView fileName);
    // The type of a file on disk: its name first, then its content (magic rules)
    // when the name says nothing. Never follows symbolic links; folders are
    // "public.folder". Reads at most a few kilobytes, without touching access times.
    static UniformType forFile(const QString& path);

    // Well-known identifiers, so code can say UniformType::folder() and not spell them.
    static UniformType item();              // public.item
    static UniformType content();           // public.content
    static UniformType data();              // public.data
    static UniformType folder();            // public.folder
    static UniformType directory();         // public.directory
    static UniformType package();           // com.apple.package
    static UniformType image();             // public.image
    static UniformType movie();             // public.movie
    static UniformType video();             // public.video
    static UniformType audio();             // public.audio
    static UniformType text();              // public.text
    static UniformType plainText();         // public.plain-text
    static UniformType sourceCode();        // public.source-code
    static UniformType script();            // public.script
    static UniformType json();              // public.json
    static UniformType xml();               // public.xml
    static UniformType propertyList();      // com.apple.property-list
    static UniformType archive();           // public.archive
    static UniformType diskImage();         // public.disk-image
    static UniformType pdf();               // com.adobe.pdf
    static UniformType compositeContent();  // public.composite-content
    static UniformType presentation();      // public.presentation
    static UniformType spreadsheet();       // public.spreadsheet
    static UniformType application();       // com.apple.application
    static UniformType applicationBundle(); // com.apple.application-bundle

    bool isValid() const { return m_id != 0; }
    QString identifier() const;
    // The MIME type this identifier was made from, or its preferred MIME type.
    QString preferredMimeType() const;
    // The localised description, e.g. "PNG image" (the MIME type's comment).
    QString localizedDescription() const;
    // The preferred file name extension, without the dot ("" when none).
    QString preferredFilenameExtension() const;

    // True when this type is `other` or lies below it in the tree. Every valid type
    // conforms to "public.item"; the invalid type conforms to nothing.
    bool conforms(const UniformType& other) const;
    bool conforms(QStringView identifier) const;
    // This identifier followed by every identifier it conforms to (the value of
    // kMDItemContentTypeTree), most specific first.
    QStringList tree() const;

    // The interned number, stable for the life of the process only (never store it).
    std::uint16_t internId() const { return m_id; }
    static UniformType fromInternId(std::uint16_t id);

    friend bool operator==(const UniformType&, const UniformType&) = default;

private:
    explicit UniformType(std::uint16_t id)
        : m_id(id)
    {
    }
    std::uint16_t m_id = 0;
};

} // namespace ovra
