#include "Item.h"

#include "ContentAttributes.h"

namespace ovra::md {
namespace {

template <typename T> QVariant opt(const std::optional<T>& v)
{
    return v ? QVariant::fromValue(*v) : QVariant();
}

QVariant list(const QStringList& l)
{
    return l.isEmpty() ? QVariant() : QVariant(l);
}

} // namespace

QVariant Item::value(Attr attr) const
{
    switch (attr) {
    case Attr::Path: return path;
    case Attr::FSName: return opt(fsName);
    case Attr::DisplayName: return opt(fsName);
    case Attr::FSSize: return fsSize ? QVariant(qint64(*fsSize)) : QVariant();
    case Attr::FSContentChangeDate: return opt(contentChangeDate);
    case Attr::ContentModificationDate: return opt(contentChangeDate);
    case Attr::FSCreationDate: return opt(creationDate);
    case Attr::ContentCreationDate: return opt(contentCreationDate);
    case Attr::ContentType: return opt(contentType);
    case Attr::ContentTypeTree: return list(contentTypeTree);
    case Attr::LastUsedDate: return opt(lastUsedDate);
    case Attr::IsScreenCapture: return isScreenCapture ? QVariant(qint64(1)) : QVariant();
    case Attr::WhereFroms: return list(whereFroms);
    case Attr::PixelWidth: return pixelWidth ? QVariant(qint64(*pixelWidth)) : QVariant();
    case Attr::PixelHeight: return pixelHeight ? QVariant(qint64(*pixelHeight)) : QVariant();
    case Attr::DurationSeconds: return opt(durationSeconds);
    case Attr::Title: return opt(title);
    case Attr::Authors: return authors ? list(*authors) : QVariant();
    case Attr::Album: return opt(album);
    case Attr::MusicalGenre: return opt(musicalGenre);
    case Attr::Codecs: return list(codecs);
    case Attr::NumberOfPages: return numberOfPages ? QVariant(qint64(*numberOfPages)) : QVariant();
    case Attr::AcquisitionMake: return opt(acquisitionMake);
    case Attr::AcquisitionModel: return opt(acquisitionModel);
    case Attr::TextContent:
    case Attr::Count_: return {};
    }
    return {};
}

void applyContent(Item& item, const ContentAttributes& c)
{
    item.pixelWidth = c.pixelWidth;
    item.pixelHeight = c.pixelHeight;
    item.durationSeconds = c.durationSeconds;
    item.title = c.title;
    item.authors = c.authors;
    item.album = c.album;
    item.musicalGenre = c.musicalGenre;
    item.codecs = c.codecs;
    item.numberOfPages = c.numberOfPages;
    item.acquisitionMake = c.acquisitionMake;
    item.acquisitionModel = c.acquisitionModel;
    if (c.contentCreationDate) item.contentCreationDate = c.contentCreationDate;
    if (c.isScreenCapture) item.isScreenCapture = true;
}

} // namespace ovra::md
