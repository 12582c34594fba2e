#include "browser/FileRow.h"
#include "browser/AddFolderCard.h"
#include "library/Fmt.h"
#include "services/Thumbnails.h"
#include "support/FakeThumbnailGenerator.h"
#include "ui/Theme.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

FileItem fileAt(const QString& path, FileCategory category, qint64 size = 0)
{
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    item.category = category;
    item.size = size;
    item.modified = QDateTime(QDate(2025, 3, 14), QTime(15, 9, 42)).toSecsSinceEpoch();
    return item;
}

// No file has a picture, and no icon either.
struct Loader {
    Thumbnails thumbnails{std::make_shared<test::FakeThumbnailGenerator>(
                              [](const QString&, int) { return std::nullopt; }),
                          [](const FileIconFacts&, int) { return QImage(); }, 1};
};

class FileRowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
    Loader loader;
};

// The colour a row paints at a point, over a known backdrop.
QColor colourAt(FileRow& row, QPoint point)
{
    QImage image(row.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    row.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.pixelColor(point);
}

} // namespace

TEST_F(FileRowTest, ColumnTexts)
{
    FileRow row(loader.thumbnails);
    row.resize(900, FileRow::kHeight);
    row.setItem(fileAt(QStringLiteral("/d/report.pdf"), FileCategory::documents, 2'400'000));
    EXPECT_EQ(row.sizeText(), Fmt::bytes(2'400'000));
    EXPECT_EQ(row.sizeText(), QStringLiteral("2.4 MB"));
    EXPECT_EQ(row.dateText(), QStringLiteral("14 Mar 2025, 15:09"));
    EXPECT_EQ(row.shownName(), QStringLiteral("report.pdf"));
    EXPECT_EQ(row.shownKind(), QStringLiteral("PDF file"));

    // A folder's own size on disk says nothing: its size column reads "--".
    row.setItem(fileAt(QStringLiteral("/d/Projects"), FileCategory::folders, 4096));
    EXPECT_EQ(row.sizeText(), QStringLiteral("--"));
    EXPECT_EQ(row.shownKind(), QStringLiteral("Folder"));

    // An application shows its name without ".app".
    row.setItem(fileAt(QStringLiteral("/a/Editor.app"), FileCategory::apps));
    EXPECT_EQ(row.shownName(), QStringLiteral("Editor"));

    // The date is the same text in every locale's own order, never relative.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QString american = Fmt::dateTime(fileAt(QStringLiteral("/x"), FileCategory::other).modified);
    american.replace(QChar(0x202F), u' ');
    EXPECT_EQ(american, QStringLiteral("Mar 14, 2025, 3:09 PM"));
    EXPECT_FALSE(Fmt::dateTime(QDateTime::currentSecsSinceEpoch()).contains(QStringLiteral("ago")));
}

TEST_F(FileRowTest, ColumnsStayAlignedWhateverTheName)
{
    FileRow shortRow(loader.thumbnails);
    FileRow longRow(loader.thumbnails);
    for (FileRow* row : {&shortRow, &longRow})
        row->resize(760, FileRow::kHeight);
    shortRow.setItem(fileAt(QStringLiteral("/d/a.txt"), FileCategory::documents, 1));
    longRow.setItem(fileAt(QStringLiteral("/d/") + QString(300, u'n') + QStringLiteral(".txt"),
                           FileCategory::documents, 999'999'999));

    const FileRow::Layout a = shortRow.layout();
    const FileRow::Layout b = longRow.layout();
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.date, b.date);
    EXPECT_EQ(a.appIcon, b.appIcon);
    EXPECT_EQ(a.size.width(), FileRow::kSizeColumn);
    EXPECT_EQ(a.date.width(), FileRow::kDateColumn);
    EXPECT_EQ(a.appIcon.size(), QSizeF(FileRow::kAppIconSide, FileRow::kAppIconSide));

    // The long name is cut to one line before the size column.
    const QString name = longRow.shownName();
    EXPECT_TRUE(name.endsWith(QChar(0x2026)));
    EXPECT_LE(QFontMetricsF(Theme::monospacedFont(13)).horizontalAdvance(name), b.name.width());
    EXPECT_LT(b.name.right(), b.size.left());

    // A long name never asks for a wider row.
    EXPECT_EQ(shortRow.sizeHint(), longRow.sizeHint());
    EXPECT_EQ(shortRow.minimumSizeHint(), longRow.minimumSizeHint());
}

TEST_F(FileRowTest, SelectionFillWinsOverHoverAndPlayingOnlyReddensTheName)
{
    FileRow row(loader.thumbnails);
    row.resize(760, FileRow::kHeight);
    row.setItem(fileAt(QStringLiteral("/m/song.mp3"), FileCategory::music, 10));
    // A point of bare background, between the name and the size columns.
    const QPoint blank(int(row.layout().size.left()) - 20, 4);

    const QColor idle = colourAt(row, blank);
    EXPECT_EQ(idle, QColor(Qt::white));
    row.setHovering(true);
    const QColor hovered = colourAt(row, blank);
    row.setSelected(true);
    const QColor selectedAndHovered = colourAt(row, blank);
    row.setHovering(false);
    const QColor selected = colourAt(row, blank);
    EXPECT_NE(hovered, idle);
    EXPECT_NE(selected, hovered);
    EXPECT_EQ(selectedAndHovered, selected);

    // Playing changes the name's pixels and nothing else.
    row.setSelected(false);
    QImage before(row.size(), QImage::Format_ARGB32_Premultiplied);
    before.fill(Qt::white);
    row.render(&before, QPoint(), QRegion(), QWidget::DrawChildren);
    row.setPlaying(true);
    QImage after(row.size(), QImage::Format_ARGB32_Premultiplied);
    after.fill(Qt::white);
    row.render(&after, QPoint(), QRegion(), QWidget::DrawChildren);
    const QRect name = row.layout().name.toAlignedRect();
    bool nameChanged = false;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            if (before.pixel(x, y) == after.pixel(x, y)) continue;
            EXPECT_TRUE(name.contains(x, y)) << x << "," << y;
            nameChanged = true;
        }
    EXPECT_TRUE(nameChanged);
}

TEST_F(FileRowTest, ReportsClicksAndDoubleClicks)
{
    FileRow row(loader.thumbnails);
    row.resize(760, FileRow::kHeight);
    const FileItem item = fileAt(QStringLiteral("/d/a.txt"), FileCategory::documents);
    row.setItem(item);
    row.show();
    int clicks = 0;
    int doubleClicks = 0;
    QObject::connect(&row, &FileRow::clicked, [&](const FileItem& f, Qt::KeyboardModifiers) {
        EXPECT_EQ(f, item);
        ++clicks;
    });
    QObject::connect(&row, &FileRow::doubleClicked, [&](const FileItem&) { ++doubleClicks; });
    // On the thumbnail too: the picture is part of the row.
    QTest::mouseClick(&row, Qt::LeftButton, {}, row.layout().thumbnail.center());
    EXPECT_EQ(clicks, 1);
    // The system's order: a click, the second press as a double click, and
    // its release, which does not click again.
    QTest::mouseClick(&row, Qt::LeftButton, {}, QPoint(300, 20));
    QTest::mouseDClick(&row, Qt::LeftButton, {}, QPoint(300, 20));
    QTest::mouseRelease(&row, Qt::LeftButton, {}, QPoint(300, 20));
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(clicks, 2);
}

TEST(AddFolderCardTest, TheWholeTileTakesTheClickOnce)
{
    AddFolderCard card;
    card.resize(220, card.height());
    card.show();
    EXPECT_EQ(card.height(), 162);
    EXPECT_EQ(card.outlineRect().height(), 140);
    int clicks = 0;
    QObject::connect(&card, &QAbstractButton::clicked, [&] { ++clicks; });

    // The room above the outline, the blank inside it, and its label.
    for (const QPoint point : {QPoint(5, 5), QPoint(20, 150), card.outlineRect().center()}) {
        const int before = clicks;
        QTest::mouseClick(&card, Qt::LeftButton, {}, point);
        EXPECT_EQ(clicks, before + 1) << point.x() << "," << point.y();
    }
    EXPECT_EQ(card.focusPolicy(), Qt::NoFocus);
}
