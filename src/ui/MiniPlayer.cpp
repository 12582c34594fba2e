#include "MiniPlayer.h"

#include "ElidingLabel.h"
#include "Symbols.h"
#include "Theme.h"
#include "library/Fmt.h"
#include "services/Player.h"
#include "ui/ThumbnailView.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

constexpr int kTitleSize = 12;
constexpr int kArtistSize = 11;
constexpr int kTimeSize = 9;
constexpr int kTextSpacing = 2;
constexpr int kProgressSpacing = 4;
constexpr int kControlSide = 22;
constexpr int kControlSymbolSize = 12;
constexpr int kPlaySide = 32;
constexpr int kPlaySymbolSize = 13;
constexpr double kTrackOpacity = 0.1;

} // namespace

// One symbol button of the control row; the play or pause button is drawn
// on a filled circle.
class MiniPlayerControl : public QAbstractButton {
public:
    MiniPlayerControl(int side, int symbolSize, bool onCircle, QWidget* parent)
        : QAbstractButton(parent)
        , m_side(side)
        , m_symbolSize(symbolSize)
        , m_onCircle(onCircle)
    {
        setFixedSize(side, side);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
    }

    QString symbol() const { return m_symbol; }
    bool isActive() const { return m_active; }
    void show(const QString& symbol, bool active)
    {
        if (symbol == m_symbol && active == m_active) return;
        m_symbol = symbol;
        m_active = active;
        update();
    }

    QSize sizeHint() const override { return {m_side, m_side}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor color = m_active ? Theme::ink() : Theme::secondary();
        if (m_onCircle) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(Theme::ink());
            painter.drawEllipse(QRectF(rect()));
            color = Theme::bg();
        }
        if (isDown()) color.setAlphaF(color.alphaF() * 0.6);
        const double inset = (m_side - m_symbolSize) / 2.0;
        Symbols::paint(painter, m_symbol, QRectF(rect()).adjusted(inset, inset, -inset, -inset),
                       color);
    }

private:
    int m_side;
    int m_symbolSize;
    bool m_onCircle;
    QString m_symbol;
    bool m_active = false;
};

// The 3-point bar with its played part; a press or a drag anywhere on it (or
// just beyond it) seeks.
class MiniPlayerProgress : public QWidget {
public:
    MiniPlayerProgress(Player& player, QWidget* parent)
        : QWidget(parent)
        , m_player(player)
    {
        setFixedHeight(MiniPlayer::kBarHeight + 2 * MiniPlayer::kBarHitMargin);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setCursor(Qt::PointingHandCursor);
    }

    void setFraction(double fraction)
    {
        if (fraction == m_fraction) return;
        m_fraction = fraction;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QRectF bar(0, MiniPlayer::kBarHitMargin, width(), MiniPlayer::kBarHeight);
        const double radius = bar.height() / 2;
        QColor track = Theme::primary();
        track.setAlphaF(track.alphaF() * kTrackOpacity);
        painter.setBrush(track);
        painter.drawRoundedRect(bar, radius, radius);
        QRectF played = bar;
        played.setWidth(std::min(
            bar.width(), std::max(m_fraction * bar.width(), MiniPlayer::kMinimumPlayedWidth)));
        painter.setBrush(Theme::ink());
        painter.drawRoundedRect(played, radius, radius);
    }
    void mousePressEvent(QMouseEvent* event) override { seekTo(event->position().x()); }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (event->buttons() & Qt::LeftButton) seekTo(event->position().x());
    }

private:
    void seekTo(double x)
    {
        if (const auto target = MiniPlayer::seekTarget(x, width(), m_player.duration()))
            m_player.seek(*target);
    }

    Player& m_player;
    double m_fraction = 0;
};

MiniPlayer::MiniPlayer(Player& player, QWidget* parent)
    : QWidget(parent)
    , m_player(player)
    , m_artwork(new ThumbnailView(this))
    , m_title(new ElidingLabel(this))
    , m_artist(new ElidingLabel(this))
    , m_progress(new MiniPlayerProgress(player, this))
    , m_elapsed(new QLabel(this))
    , m_remaining(new QLabel(this))
    , m_shuffle(new MiniPlayerControl(kControlSide, kControlSymbolSize, false, this))
    , m_previous(new MiniPlayerControl(kControlSide, kControlSymbolSize, false, this))
    , m_playPause(new MiniPlayerControl(kPlaySide, kPlaySymbolSize, true, this))
    , m_next(new MiniPlayerControl(kControlSide, kControlSymbolSize, false, this))
    , m_repeat(new MiniPlayerControl(kControlSide, kControlSymbolSize, false, this))
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    m_artwork->setFixedSize(kArtworkSide, kArtworkSide);
    m_artwork->setCornerRadius(kArtworkRadius);
    m_title->setFont(Theme::monospacedFont(kTitleSize, QFont::Medium));
    m_artist->setFont(Theme::font(kArtistSize));
    m_elapsed->setFont(Theme::font(kTimeSize));
    m_remaining->setFont(Theme::font(kTimeSize));
    m_elapsed->setTextFormat(Qt::PlainText);
    m_remaining->setTextFormat(Qt::PlainText);
    m_remaining->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(kTextSpacing);
    texts->addWidget(m_title);
    texts->addWidget(m_artist);
    auto* header = new QHBoxLayout;
    header->setSpacing(kSpacing);
    header->addWidget(m_artwork);
    header->addLayout(texts, 1);

    auto* times = new QHBoxLayout;
    times->addWidget(m_elapsed);
    times->addStretch(1);
    times->addWidget(m_remaining);
    auto* progress = new QVBoxLayout;
    // The bar's widget reaches beyond the drawn bar by its hit margin.
    progress->setSpacing(std::max(0, kProgressSpacing - kBarHitMargin));
    progress->addWidget(m_progress);
    progress->addLayout(times);

    auto* controls = new QHBoxLayout;
    controls->addWidget(m_shuffle);
    controls->addStretch(1);
    controls->addWidget(m_previous);
    controls->addStretch(1);
    controls->addWidget(m_playPause);
    controls->addStretch(1);
    controls->addWidget(m_next);
    controls->addStretch(1);
    controls->addWidget(m_repeat);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(kSpacing);
    column->addLayout(header);
    column->addLayout(progress);
    column->addLayout(controls);

    connect(m_shuffle, &QAbstractButton::clicked, this,
            [this] { m_player.setShuffle(!m_player.shuffle()); });
    connect(m_previous, &QAbstractButton::clicked, &player, &Player::previous);
    connect(m_playPause, &QAbstractButton::clicked, &player, &Player::togglePlay);
    connect(m_next, &QAbstractButton::clicked, &player, &Player::next);
    connect(m_repeat, &QAbstractButton::clicked, this,
            [this] { m_player.setRepeatOne(!m_player.repeatOne()); });

    connect(&player, &Player::indexChanged, this, &MiniPlayer::showCurrent);
    connect(&player, &Player::queueChanged, this, &MiniPlayer::showCurrent);
    connect(&player, &Player::currentTimeChanged, this, &MiniPlayer::showTime);
    connect(&player, &Player::durationChanged, this, &MiniPlayer::showTime);
    connect(&player, &Player::isPlayingChanged, this, &MiniPlayer::showModes);
    connect(&player, &Player::shuffleChanged, this, &MiniPlayer::showModes);
    connect(&player, &Player::repeatOneChanged, this, &MiniPlayer::showModes);

    showColours();
    showCurrent();
    showModes();
    showTime();
}

double MiniPlayer::progressFraction(double currentTime, double duration)
{
    if (!(duration > 0) || !std::isfinite(currentTime)) return 0;
    return std::clamp(currentTime / duration, 0.0, 1.0);
}

QString MiniPlayer::elapsedText(double currentTime)
{
    return Fmt::duration(currentTime);
}

QString MiniPlayer::remainingText(double currentTime, double duration)
{
    const double left = duration - currentTime;
    return QLatin1Char('-') + Fmt::duration(left > 0 ? left : 0.0);
}

QString MiniPlayer::artistText(const FileItem& item)
{
    if (item.artist && !item.artist->isEmpty()) return *item.artist;
    return QStringLiteral("Unknown Artist");
}

std::optional<double> MiniPlayer::seekTarget(double x, double width, double duration)
{
    // A bar squeezed to nothing (a collapsed sidebar mid-layout) has no
    // points to map: it seeks nowhere rather than dividing by zero.
    if (!(duration > 0) || !std::isfinite(duration) || !(width > 0) || !std::isfinite(x))
        return std::nullopt;
    return std::clamp(x / width, 0.0, 1.0) * duration;
}

QString MiniPlayer::titleText() const
{
    return m_title->text();
}

QString MiniPlayer::shownArtistText() const
{
    return m_artist->text();
}

QString MiniPlayer::shownElapsedText() const
{
    return m_elapsed->text();
}

QString MiniPlayer::shownRemainingText() const
{
    return m_remaining->text();
}

QAbstractButton* MiniPlayer::shuffleButton() const
{
    return m_shuffle;
}

QAbstractButton* MiniPlayer::previousButton() const
{
    return m_previous;
}

QAbstractButton* MiniPlayer::playPauseButton() const
{
    return m_playPause;
}

QAbstractButton* MiniPlayer::nextButton() const
{
    return m_next;
}

QAbstractButton* MiniPlayer::repeatButton() const
{
    return m_repeat;
}

QWidget* MiniPlayer::progressBar() const
{
    return m_progress;
}

void MiniPlayer::showCurrent()
{
    const std::optional<FileItem> item = m_player.current();
    if (!item) {
        hide();
        return;
    }
    // A panel without a parent yet would show as a window of its own.
    if (isHidden() && parentWidget()) show();
    m_artwork->setItem(*item);
    m_title->setText(item->displayTitle());
    m_artist->setText(artistText(*item));
}

void MiniPlayer::showTime()
{
    const double time = m_player.currentTime();
    const double duration = m_player.duration();
    m_progress->setFraction(progressFraction(time, duration));
    m_elapsed->setText(elapsedText(time));
    m_remaining->setText(remainingText(time, duration));
}

void MiniPlayer::showModes()
{
    m_shuffle->show(QStringLiteral("shuffle"), m_player.shuffle());
    m_previous->show(QStringLiteral("backward.fill"), false);
    m_playPause->show(
        m_player.isPlaying() ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), false);
    m_next->show(QStringLiteral("forward.fill"), false);
    m_repeat->show(m_player.repeatOne() ? QStringLiteral("repeat.1") : QStringLiteral("repeat"),
                   m_player.repeatOne());
}

void MiniPlayer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The outline lies inside the edge: half the pen's width in.
    const QRectF panel = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(Theme::fill());
    painter.setPen(QPen(Theme::line(), 1));
    painter.drawRoundedRect(panel, kCornerRadius, kCornerRadius);
}

void MiniPlayer::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        showColours();
        update();
    }
}

void MiniPlayer::showColours()
{
    m_title->setColor(Theme::primary());
    m_artist->setColor(Theme::secondary());
    for (QLabel* label : {m_elapsed, m_remaining}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Theme::secondary());
        label->setPalette(palette);
    }
    m_artwork->setPrimaryColor(Theme::primary());
}

} // namespace ovra
