#include "preview/PreviewSheet.h"
#include "library/AppState.h"
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "preview/InspectorView.h"
#include "preview/LiveTextImage.h"
#include "preview/MediaControls.h"
#include "preview/QuickLookView.h"
#include "preview/RecognizedTextSection.h"
#include "services/Player.h"
#include "services/TextIndex.h"
#include "support/FakePlayerBackend.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"
#include "ui/PlayerLink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMediaPlayer>
#include <QPointer>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QTest>
#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <QVideoSink>
#include <QVideoWidget>

#include <gtest/gtest.h>

namespace ovra {
namespace {

FileItem file(const QString& path, FileCategory category, const UniformType& type)
{
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    item.category = category;
    item.contentType = type;
    return item;
}

// The sheet over a state whose preview list holds a picture, a PDF and a
// vector drawing; nothing is read from disk unless a test makes the files.
class PreviewSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        png = file(home.path("a.png"), FileCategory::images, UniformType::image());
        pdf = file(home.path("b.pdf"), FileCategory::documents, UniformType::pdf());
        svg = file(home.path("c.svg"), FileCategory::images, UniformType::image());
        sheet = std::make_unique<PreviewSheet>(context());
        sheet->resize(1000, 720);
        sheet->show();
    }

    AppContext context()
    {
        AppContext made;
        made.state = &state;
        made.textIndex = &index;
        return made;
    }

    void press(int key)
    {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : sheet.get(),
                        Qt::Key(key));
    }

    test::TestHome home;
    AppState state;
    TextIndex index{[](const QString&) { return std::optional<QString>(QString()); }};
    FileItem png, pdf, svg;
    std::unique_ptr<PreviewSheet> sheet;
};

TEST_F(PreviewSheetTest, ThePositionAndArrowsFollowTheItemInItsList)
{
    state.preview(png, {png, pdf, svg});
    EXPECT_TRUE(sheet->detailText().endsWith(QStringLiteral(" · 1 of 3")));
    EXPECT_FALSE(sheet->previousButton()->isEnabled());
    EXPECT_TRUE(sheet->nextButton()->isEnabled());

    sheet->nextButton()->click();
    EXPECT_EQ(state.previewItem(), pdf);
    EXPECT_TRUE(sheet->detailText().endsWith(QStringLiteral(" · 2 of 3")));
    EXPECT_EQ(state.selectedFiles(), QSet<QString>{pdf.path});
    EXPECT_EQ(state.focusedItem(), pdf);

    state.stepPreview(1);
    EXPECT_TRUE(sheet->previousButton()->isEnabled());
    EXPECT_FALSE(sheet->nextButton()->isEnabled());

    state.preview(png, {png});
    EXPECT_TRUE(sheet->detailText().endsWith(QStringLiteral(" · 1 of 1")));
    EXPECT_FALSE(sheet->previousButton()->isEnabled());
    EXPECT_FALSE(sheet->nextButton()->isEnabled());

    // A file outside its list: no position, no stepping.
    state.setPreviewList({pdf});
    state.setPreviewItem(svg);
    EXPECT_FALSE(sheet->detailText().contains(QStringLiteral(" of ")));
    EXPECT_FALSE(sheet->previousButton()->isEnabled());
    EXPECT_FALSE(sheet->nextButton()->isEnabled());
    EXPECT_EQ(PreviewSheet::positionText(2, 12), QStringLiteral("3 of 12"));
}

TEST_F(PreviewSheetTest, ArrowsStepWithoutWrappingAndSpaceOrEscapeClose)
{
    state.preview(png, {png, pdf, svg});
    sheet->setFocus();
    press(Qt::Key_Left);
    EXPECT_EQ(state.previewItem(), png);
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    EXPECT_EQ(state.previewItem(), svg);
    press(Qt::Key_Right);
    EXPECT_EQ(state.previewItem(), svg);
    press(Qt::Key_Left);
    EXPECT_EQ(state.previewItem(), pdf);

    // No control of the sheet can hold the focus, so Space reaches the sheet
    // even after a button was clicked.
    for (QAbstractButton* button : sheet->findChildren<QAbstractButton*>())
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << button->text().toStdString();
    sheet->previousButton()->click();
    press(Qt::Key_Space);
    EXPECT_FALSE(state.previewItem());
    EXPECT_EQ(state.previewList(), (QList<FileItem>{png, pdf, svg}));
    EXPECT_EQ(state.selectedFiles(), QSet<QString>{png.path});

    state.preview(pdf, {png, pdf, svg});
    sheet->setFocus();
    press(Qt::Key_Escape);
    EXPECT_FALSE(state.previewItem());
}

TEST_F(PreviewSheetTest, TextSelectionShowsOnlyForReadablePicturesAndIsRemembered)
{
    sheet->setSelectText(false);
    state.preview(png, {png, pdf, svg});
    EXPECT_FALSE(sheet->selectTextButton()->isHidden());
    EXPECT_FALSE(sheet->copyTextButton()->isHidden());
    ASSERT_TRUE(sheet->quickLook());
    EXPECT_FALSE(sheet->liveText());

    sheet->selectTextButton()->click();
    EXPECT_TRUE(sheet->selectText());
    ASSERT_TRUE(sheet->liveText());
    EXPECT_EQ(sheet->liveText()->path(), png.path);

    state.stepPreview(1); // the PDF: its text can be copied, not selected on it
    EXPECT_TRUE(sheet->selectTextButton()->isHidden());
    EXPECT_FALSE(sheet->copyTextButton()->isHidden());
    ASSERT_TRUE(sheet->quickLook());
    EXPECT_EQ(sheet->quickLook()->kind(), PreviewKind::pdf);

    state.stepPreview(1); // a vector drawing: neither
    EXPECT_TRUE(sheet->selectTextButton()->isHidden());
    EXPECT_TRUE(sheet->copyTextButton()->isHidden());
    EXPECT_TRUE(sheet->quickLook());

    state.stepPreview(-2);
    ASSERT_TRUE(sheet->liveText());

    // A sheet made later starts as the last one left it.
    PreviewSheet later(context());
    EXPECT_TRUE(later.selectText());
    later.setSelectText(false);
}

} // namespace
} // namespace ovra

namespace ovra {
namespace {

TEST(InspectorTest, SwitchingFilesShowsEachFilesPreviewAndRowsAndNoLateRows)
{
    test::TestHome home;
    AppState state;
    TextIndex index{
        [](const QString&) { return std::optional<QString>(QStringLiteral("Total 12")); }};
    AppContext context;
    context.state = &state;
    context.textIndex = &index;
    InspectorView inspector(context);
    inspector.resize(320, 860);
    inspector.show();
    EXPECT_FALSE(inspector.itemInspector());

    const QString png = home.writeFile(QStringLiteral("a.png"), test::pngBytes(40, 30));
    const QString txt = home.writeFile(QStringLiteral("b.txt"), "hello\n");
    // The fixture's items, read here as a store's pool thread would; only
    // while they are read, so the views' own reads stay checked.
    const auto itemFor = [](const QString& path) {
        const UserFile::AllowOnThisThread reading;
        return FileItem::fromPath(path).value();
    };
    auto* item = inspector.findChild<ItemInspector*>();
    ASSERT_TRUE(item);
    // Work that is done before anyone waits for it lands at once, so the rows
    // are awaited by what they say, not by a count of signals.
    const auto rowsDescribe = [item, itemFor](const QString& path) {
        return test::eventually([&] {
            return !item->rows().isEmpty() &&
                   item->rows().first().value == itemFor(path).kindDescription();
        });
    };
    state.setFocusedItem(itemFor(png));
    EXPECT_EQ(inspector.itemInspector(), item);
    ASSERT_TRUE(rowsDescribe(png));
    EXPECT_EQ(item->rows().last().value, QStringLiteral("~"));
    EXPECT_FALSE(item->textSection()->isHidden());

    // Straight on to the next file, and back and forth before the rows arrive:
    // the last file's rows land and nothing of the others' comes after them.
    state.setFocusedItem(itemFor(txt));
    state.setFocusedItem(itemFor(png));
    state.setFocusedItem(itemFor(txt));
    EXPECT_EQ(static_cast<QuickLookView*>(item->preview())->item().path, txt);
    EXPECT_TRUE(item->textSection()->isHidden());
    ASSERT_TRUE(rowsDescribe(txt));
    // Every file's rows have been read once the pool that reads them is idle;
    // what the reads sent back is applied on the next loop turn.
    background::pool(background::Pool::files).waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(item->rows().first().value, itemFor(txt).kindDescription());

    state.setFocusedItem(std::nullopt);
    EXPECT_FALSE(inspector.itemInspector());
}

} // namespace
} // namespace ovra

namespace ovra {
namespace {

TEST(MediaPreviewTest, ASongWaitsForPlayBeforeItsFileIsOpenedAndABarOfNoWidthSeeksNowhere)
{
    test::TestHome home;
    FileItem song = file(home.writeFile(QStringLiteral("Music/song.wav"), test::wavBytes(2.0)),
                         FileCategory::music, UniformType::audio());
    QuickLookView inspectorPreview(song, false);
    ASSERT_TRUE(inspectorPreview.player());
    // Opening it would leave its access time changed: the file would count as used.
    EXPECT_TRUE(inspectorPreview.player()->source().isEmpty());
    auto* play = inspectorPreview.findChild<QAbstractButton*>();
    ASSERT_TRUE(play);
    play->click();
    EXPECT_EQ(inspectorPreview.player()->source(), QUrl::fromLocalFile(song.path));

    QuickLookView sheetPreview(song, true);
    EXPECT_EQ(sheetPreview.player()->source(), QUrl::fromLocalFile(song.path));

    EXPECT_EQ(MediaControls::seekPosition(50, 0, 10000), std::nullopt);
    EXPECT_EQ(MediaControls::seekPosition(50, 100, 0), std::nullopt);
    EXPECT_EQ(MediaControls::seekPosition(50, 100, 10000), 5000);
    EXPECT_EQ(MediaControls::seekPosition(150, 100, 10000), 10000);
}

// The video surface shows what lies beneath it until it has drawn a frame: a
// film starts on a black stage, never on a hole in the window.
TEST(MediaPreviewTest, AFilmStartsOnABlackStageAndItsSurfaceComesWithTheFirstFrame)
{
    test::TestHome home;
    const QString path = home.path(QStringLiteral("Videos/clip.mp4"));
    QDir().mkpath(home.path(QStringLiteral("Videos")));
    ASSERT_TRUE(test::writeVideo(path, 320, 240, 2.0));
    QuickLookView preview(file(path, FileCategory::videos, UniformType::movie()), true);
    preview.resize(480, 360);
    preview.show();
    auto* surface = preview.findChild<QVideoWidget*>();
    ASSERT_TRUE(surface);
    EXPECT_FALSE(surface->isVisible());
    auto* stage = qobject_cast<QStackedLayout*>(surface->parentWidget()->layout());
    ASSERT_TRUE(stage);
    EXPECT_EQ(stage->currentWidget()->palette().color(QPalette::Window), QColor(Qt::black));

    // The first frame brings the surface.
    surface->videoSink()->setVideoFrame(
        QVideoFrame(QVideoFrameFormat(QSize(320, 240), QVideoFrameFormat::Format_ARGB8888)));
    EXPECT_EQ(stage->currentWidget(), surface);
}

} // namespace
} // namespace ovra

namespace ovra {
namespace {

// A song in the inspector and in the sheet, with the app's player beside them
// on an engine that plays nothing.
class PreviewPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        song = file(home.writeFile(QStringLiteral("Music/song.wav"), test::wavBytes(30.0)),
                    FileCategory::music, UniformType::audio());
        other = file(home.writeFile(QStringLiteral("Music/other.wav"), test::wavBytes(30.0)),
                     FileCategory::music, UniformType::audio());
        context.state = &state;
        context.player = &link;
    }

    // Presses the preview's play button; its player is then playing.
    static void play(QuickLookView* preview)
    {
        ASSERT_TRUE(preview && preview->player());
        auto* button = preview->findChild<QAbstractButton*>();
        ASSERT_TRUE(button);
        button->click();
        ASSERT_EQ(preview->player()->playbackState(), QMediaPlayer::PlayingState);
    }

    static QuickLookView* inspectorPreview(InspectorView& inspector)
    {
        ItemInspector* item = inspector.itemInspector();
        return item ? qobject_cast<QuickLookView*>(item->preview()) : nullptr;
    }

    test::TestHome home;
    AppState state;
    Player player{std::make_unique<test::FakePlayerBackend>()};
    PlayerLink link{player};
    AppContext context;
    FileItem song, other;
};

// Nothing on screen could stop a song that played on in a preview gone from view.
TEST_F(PreviewPlaybackTest, APreviewThatGoesAwayTakesItsSongWithIt)
{
    InspectorView inspector(context);
    inspector.resize(320, 860);
    inspector.show();

    // Another place chosen: no file is focused any more.
    state.setFocusedItem(song);
    play(inspectorPreview(inspector));
    QPointer<QMediaPlayer> playing = inspectorPreview(inspector)->player();
    state.setFocusedItem(std::nullopt);
    EXPECT_FALSE(playing);

    // The inspector closed, and opened again on the same file: a new preview,
    // waiting to be played.
    state.setFocusedItem(song);
    play(inspectorPreview(inspector));
    playing = inspectorPreview(inspector)->player();
    inspector.hide();
    EXPECT_FALSE(playing);
    EXPECT_FALSE(inspector.itemInspector());
    inspector.show();
    ASSERT_TRUE(inspectorPreview(inspector));
    EXPECT_EQ(inspectorPreview(inspector)->player()->playbackState(), QMediaPlayer::StoppedState);

    // Another file focused.
    play(inspectorPreview(inspector));
    playing = inspectorPreview(inspector)->player();
    state.setFocusedItem(other);
    EXPECT_FALSE(playing);

    // The sheet closed.
    PreviewSheet sheet(context);
    sheet.show();
    state.preview(song, {song, other});
    ASSERT_TRUE(sheet.quickLook());
    playing = sheet.quickLook()->player();
    state.setPreviewItem(std::nullopt);
    EXPECT_FALSE(playing);
}

TEST_F(PreviewPlaybackTest, TheAppsPlayerStartingPausesAPreviewThatPlays)
{
    InspectorView inspector(context);
    inspector.resize(320, 860);
    inspector.show();
    state.setFocusedItem(song);
    QuickLookView* inInspector = inspectorPreview(inspector);
    play(inInspector);

    player.play(song, {song, other});
    EXPECT_EQ(inInspector->player()->playbackState(), QMediaPlayer::PausedState);

    // So does a song resumed from a pause, or the next one.
    player.togglePlay();
    play(inInspector);
    player.togglePlay();
    EXPECT_EQ(inInspector->player()->playbackState(), QMediaPlayer::PausedState);
    play(inInspector);
    player.next();
    EXPECT_EQ(inInspector->player()->playbackState(), QMediaPlayer::PausedState);

    // The sheet's song, which starts by itself.
    PreviewSheet sheet(context);
    sheet.show();
    state.preview(other, {song, other});
    ASSERT_TRUE(sheet.quickLook());
    ASSERT_EQ(sheet.quickLook()->player()->playbackState(), QMediaPlayer::PlayingState);
    player.previous();
    EXPECT_EQ(sheet.quickLook()->player()->playbackState(), QMediaPlayer::PausedState);
}

// The app's player is held where it stood, so Ctrl+Space resumes the song
// there; and its pausing is no start, so the preview plays on.
TEST_F(PreviewPlaybackTest, APreviewThatStartsPausesTheAppsPlayerWhereItStands)
{
    auto& engine = static_cast<test::FakePlayerBackend&>(player.backend());
    player.play(song, {song, other});
    engine.reportPosition(28.0);
    InspectorView inspector(context);
    inspector.resize(320, 860);
    inspector.show();
    state.setFocusedItem(other);
    QSignalSpy started(&link, &PlayerSummary::started);

    QuickLookView* inInspector = inspectorPreview(inspector);
    play(inInspector);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(engine.calls.last(), QStringLiteral("pause"));
    EXPECT_EQ(player.currentTime(), 28.0);
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(inInspector->player()->playbackState(), QMediaPlayer::PlayingState);

    engine.calls.clear();
    link.togglePlay();
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(engine.calls, QStringList{QStringLiteral("play")});
    EXPECT_EQ(player.currentTime(), 28.0);
    EXPECT_EQ(inInspector->player()->playbackState(), QMediaPlayer::PausedState);

    // The sheet's song, which starts by itself.
    PreviewSheet sheet(context);
    sheet.show();
    state.preview(other, {song, other});
    ASSERT_TRUE(sheet.quickLook());
    ASSERT_EQ(sheet.quickLook()->player()->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(engine.calls.last(), QStringLiteral("pause"));
}

TEST_F(PreviewPlaybackTest, APreviewThatStartsPausesAnotherThatPlays)
{
    InspectorView inspector(context);
    inspector.resize(320, 860);
    inspector.show();
    state.setFocusedItem(song);
    QuickLookView* inInspector = inspectorPreview(inspector);
    play(inInspector);

    // The sheet opened over the inspector starts its song by itself.
    PreviewSheet sheet(context);
    sheet.show();
    state.preview(other, {song, other});
    ASSERT_TRUE(sheet.quickLook());
    QMediaPlayer* inSheet = sheet.quickLook()->player();
    EXPECT_EQ(inSheet->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_EQ(inInspector->player()->playbackState(), QMediaPlayer::PausedState);

    // And the other way round.
    play(inInspector);
    EXPECT_EQ(inSheet->playbackState(), QMediaPlayer::PausedState);
    EXPECT_FALSE(player.isPlaying());
}

} // namespace
} // namespace ovra
