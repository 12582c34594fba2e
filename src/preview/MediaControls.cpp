#include "MediaControls.h"

#include "library/Fmt.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QSlider>
#include <QToolButton>

#include <algorithm>

namespace ovra {

namespace {

constexpr int kButtonSide = 28;
constexpr int kSymbolSide = 14;
constexpr double kMillisecondsPerSecond = 1000.0;

} // namespace

MediaControls::MediaControls(QMediaPlayer& player, QWidget* parent)
    : QWidget(parent)
    , m_player(player)
    , m_play(new QToolButton(this))
    , m_position(new QSlider(Qt::Horizontal, this))
    , m_time(new QLabel(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(8);
    m_play->setFixedSize(kButtonSide, kButtonSide);
    m_play->setAutoRaise(true);
    m_play->setIconSize(QSize(kSymbolSide, kSymbolSide));
    m_play->setFocusPolicy(Qt::NoFocus);
    m_position->setFocusPolicy(Qt::NoFocus);
    m_time->setTextFormat(Qt::PlainText);
    m_time->setFont(Theme::font(11));
    row->addWidget(m_play);
    row->addWidget(m_position, 1);
    row->addWidget(m_time);

    connect(m_play, &QToolButton::clicked, this, [this] {
        if (m_player.playbackState() == QMediaPlayer::PlayingState) {
            m_player.pause();
            return;
        }
        if (!m_pendingSource.isEmpty()) {
            m_player.setSource(m_pendingSource);
            m_pendingSource.clear();
        }
        m_player.play();
    });
    connect(m_position, &QSlider::sliderMoved, this, [this](int value) {
        if (const auto position = seekPosition(value, m_position->maximum(), m_player.duration()))
            m_player.setPosition(*position);
    });
    connect(&m_player, &QMediaPlayer::playbackStateChanged, this, &MediaControls::follow);
    connect(&m_player, &QMediaPlayer::positionChanged, this, &MediaControls::follow);
    connect(&m_player, &QMediaPlayer::durationChanged, this, &MediaControls::follow);
    follow();
}

std::optional<qint64> MediaControls::seekPosition(int x, int width, qint64 duration)
{
    if (width <= 0 || duration <= 0) return std::nullopt;
    const double fraction = std::clamp(double(x) / width, 0.0, 1.0);
    return qint64(fraction * double(duration));
}

void MediaControls::setPendingSource(const QUrl& source, qint64 knownDuration)
{
    m_pendingSource = source;
    m_knownDuration = knownDuration;
    follow();
}

void MediaControls::follow()
{
    const bool playing = m_player.playbackState() == QMediaPlayer::PlayingState;
    const QString symbol = playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
    m_play->setIcon(Symbols::icon(symbol, &Theme::primary));
    m_play->setToolTip(playing ? tr("Pause") : tr("Play"));
    const qint64 duration = m_player.duration() > 0 ? m_player.duration() : m_knownDuration;
    const qint64 position = m_player.position();
    // The bar counts thousandths of the piece, so it stays put while no length is known.
    constexpr int kSteps = 1000;
    m_position->setMaximum(kSteps);
    if (!m_position->isSliderDown())
        m_position->setValue(duration > 0 ? int(double(position) / double(duration) * kSteps) : 0);
    m_time->setText(Fmt::duration(position / kMillisecondsPerSecond) + QStringLiteral(" / ") +
                    Fmt::duration(duration / kMillisecondsPerSecond));
}

} // namespace ovra
