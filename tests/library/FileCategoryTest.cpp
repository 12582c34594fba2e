#include "library/FileCategory.h"
#include "platform/metadata/Item.h"
#include "platform/metadata/ItemView.h"
#include "platform/metadata/Query.h"

#include <gtest/gtest.h>

using namespace ovra;

namespace {

std::optional<UniformType> type(const char* identifier)
{
    auto t = UniformType::withIdentifier(QString::fromLatin1(identifier));
    EXPECT_TRUE(t) << identifier;
    return t;
}

} // namespace

TEST(FileCategory, ClassifyTakesTheFirstRuleThatHolds)
{
    EXPECT_EQ(classify(std::nullopt, false), FileCategory::other);
    EXPECT_EQ(classify(std::nullopt, true), FileCategory::folders);
    EXPECT_EQ(classify(type("public.png"), true), FileCategory::folders);
    EXPECT_EQ(classify(type("public.folder"), false), FileCategory::folders);
    EXPECT_EQ(classify(type("com.apple.application-bundle"), false), FileCategory::apps);
    EXPECT_EQ(classify(type("public.png"), false), FileCategory::images);
    EXPECT_EQ(classify(type("public.mpeg-4"), false), FileCategory::videos);
    EXPECT_EQ(classify(type("public.json"), false), FileCategory::code);
    EXPECT_EQ(classify(type("com.apple.property-list"), false), FileCategory::code);
    EXPECT_EQ(classify(type("public.plain-text"), false), FileCategory::documents);
    EXPECT_EQ(classify(type("com.adobe.pdf"), false), FileCategory::documents);
    EXPECT_EQ(classify(type("public.disk-image"), false), FileCategory::archives);
    EXPECT_EQ(classify(type("public.data"), false), FileCategory::other);
    EXPECT_EQ(classify(UniformType(), false), FileCategory::other);
}

namespace {

// A file as the index holds it: its type from its name (or as given), that
// type's tree, and when it was last opened, if ever.
md::Item indexed(const QString& name, std::optional<UniformType> type = {}, bool opened = false)
{
    md::Item item;
    item.path = QStringLiteral("/home/ann/") + name;
    item.fsName = name;
    const UniformType t = type.value_or(UniformType::forFileName(name));
    item.uniformType = t;
    item.contentType = t.identifier();
    item.contentTypeTree = t.tree();
    item.isDirectory = t == UniformType::folder();
    if (opened) item.lastUsedDate = 1'700'000'000;
    return item;
}

// The categories whose query finds the file, "other" aside: it finds every file.
QList<FileCategory> categoriesFinding(const md::Item& item)
{
    QList<FileCategory> found;
    for (FileCategory category : kAllFileCategories) {
        const md::Query query = md::Query::parse(spotlightQuery(category));
        EXPECT_TRUE(query.isValid()) << rawValue(category).toStdString();
        if (category != FileCategory::other && query.matches(md::ItemView(item)))
            found.append(category);
    }
    return found;
}

std::string names(const QList<FileCategory>& categories)
{
    QStringList out;
    for (FileCategory category : categories)
        out << rawValue(category);
    return out.join(u' ').toStdString();
}

} // namespace

TEST(FileCategory, EachFileIsFoundByTheQueryOfItsCategoryAlone)
{
    using C = FileCategory;
    const struct {
        md::Item item;
        QList<FileCategory> found;
    } cases[] = {
        {indexed("beach.png"), {C::images}},
        {indexed("scan.jpg"), {C::images}},
        {indexed("holiday.mp4"), {C::videos}},
        {indexed("song.mp3"), {C::music}},
        {indexed("report.pdf"), {C::documents}},
        {indexed("budget.ods"), {C::documents}},
        {indexed("slides.odp"), {C::documents}},
        {indexed("letter.rtf"), {C::documents}},
        {indexed("backup.zip"), {C::archives}},
        {indexed("photos.tar.gz"), {C::archives}},
        {indexed("Editor.app", UniformType::applicationBundle()), {C::apps}},
        {indexed("Projects", UniformType::folder()), {C::folders}},
        // Plain text and code count only once someone opened them: logs and the
        // files inside projects are everywhere.
        {indexed("notes.txt"), {}},
        {indexed("notes.txt", {}, true), {C::documents}},
        {indexed("README.MD", {}, true), {C::documents}},
        {indexed("main.cpp"), {}},
        {indexed("main.cpp", {}, true), {C::code}},
        {indexed("build.py", {}, true), {C::code}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item.fsName->toStdString());
        EXPECT_EQ(names(categoriesFinding(c.item)), names(c.found));
        // What a collection finds, the classifier files under the same category.
        if (c.found.size() == 1) {
            EXPECT_EQ(classify(c.item.uniformType, c.item.isDirectory), c.found.first());
        }
    }
}

TEST(FileCategory, TransportStreamsAreNotVideosAndOtherFindsEveryFile)
{
    // ".ts" is also a TypeScript source's name: a file of that name is no film.
    md::Item stream =
        indexed("recording.ts", UniformType::forMimeType(QStringLiteral("video/mp2t")));
    ASSERT_TRUE(stream.uniformType.conforms(UniformType::movie()));
    EXPECT_FALSE(categoriesFinding(stream).contains(FileCategory::videos));
    stream.fsName = QStringLiteral("recording.m2ts");
    EXPECT_TRUE(categoriesFinding(stream).contains(FileCategory::videos));

    const md::Query other = md::Query::parse(spotlightQuery(FileCategory::other));
    for (const char* name : {"beach.png", "no-extension", "Projects", ".hidden"})
        EXPECT_TRUE(other.matches(md::ItemView(indexed(QString::fromLatin1(name))))) << name;
}

TEST(FileCategory, RawValuesRoundTripAndUnknownOnesGiveNothing)
{
    for (FileCategory c : kAllFileCategories)
        EXPECT_EQ(fileCategoryFromRaw(rawValue(c)), c);
    EXPECT_FALSE(fileCategoryFromRaw(u"Images"));
    EXPECT_FALSE(fileCategoryFromRaw(u""));
}
