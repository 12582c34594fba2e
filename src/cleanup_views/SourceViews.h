#pragma once

#include "cleanup/SourceStore.h"
#include "ui/AppContext.h"
#include "ui/SourceBadge.h"

#include <QAbstractButton>
#include <QScrollArea>
#include <QWidget>

#include <optional>

class QLabel;

namespace ovra {

class HoverLift;
class CardGrid;
class EmptyStateView;
class FileBrowser;
class PreviewStack;
class Spinner;

// One source's group as a card: badge, name, "N files · size" and a fan of its
// pictures, videos or songs.
class SourceCard : public QAbstractButton {
    Q_OBJECT
public:
    explicit SourceCard(const SourceStore::Group& group, QWidget* parent = nullptr);

    // "12 files · 3.4 MB".
    static QString detail(const SourceStore::Group& group);
    // The first two files that show a picture.
    static QList<FileItem> previews(const SourceStore::Group& group);

    const SourceStore::Group& group() const { return m_group; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeChildren();

    SourceStore::Group m_group;
    SourceBadge* m_badge;
    PreviewStack* m_previews;
    bool m_hovering = false;
    HoverLift* m_lift;
};

// The groups as a grid of cards; with a limit (the home view) at most that many
// under a "Downloaded From" header with "See all". Nothing at all when there
// are no groups.
class SourcesSection : public QWidget {
    Q_OBJECT
public:
    SourcesSection(const AppContext& context, std::optional<int> limit, QWidget* parent = nullptr);
    CardGrid* grid() const { return m_grid; }

private:
    void rebuild();

    AppContext m_context;
    SourceStore* m_sources;
    std::optional<int> m_limit;
    QWidget* m_header = nullptr;
    CardGrid* m_grid;
};

// Every source as a card, loading the store when shown.
class SourcesHubView : public QScrollArea {
    Q_OBJECT
public:
    static QString subtitle(const SourceStore& sources);

    explicit SourcesHubView(const AppContext& context, QWidget* parent = nullptr);
    QLabel* subtitleLabel() const { return m_subtitle; }
    SourcesSection* section() const { return m_section; }
    EmptyStateView* emptyState() const { return m_empty; }

private:
    void showState();

    AppContext m_context;
    SourceStore* m_sources;
    QLabel* m_subtitle;
    Spinner* m_spinner;
    EmptyStateView* m_empty;
    SourcesSection* m_section;
};

// One source's files in the shared file list.
class SourceView : public QWidget {
    Q_OBJECT
public:
    SourceView(const AppContext& context, QString name, QWidget* parent = nullptr);
    FileBrowser* browser() const { return m_browser; }

private:
    void showGroup();

    AppContext m_context;
    SourceStore* m_sources;
    QString m_name;
    FileBrowser* m_browser;
};

// Asks the store to load for the current refresh token; the store's own rules
// make asking again for the same token free.
void loadSources(const AppContext& context);

} // namespace ovra
