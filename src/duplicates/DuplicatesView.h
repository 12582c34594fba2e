#pragma once

#include "DuplicateFinder.h"
#include "ui/AppContext.h"

#include <QHash>
#include <QUuid>
#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QMessageBox;

namespace ovra {

class DuplicateGroupCard;
class SymbolBadge;

// The duplicates screen: a dark summary card that tells the shown tab's scan
// phase and offers to start it, scan again and trash every extra; the tabs
// "Exact Copies" and "Similar Photos"; and the groups of the shown tab as
// cards, sixty at a time. Shown anew, it starts the exact scan if none ever
// ran; the look-alike scan starts only from its own button.
class DuplicatesView : public QWidget {
    Q_OBJECT
public:
    enum class Tab { exact, similar };
    static constexpr int kPage = 60;

    DuplicatesView(const AppContext& context, DuplicateFinder* finder, QWidget* parent = nullptr);

    Tab tab() const { return m_tab; }
    void setTab(Tab tab);
    int visibleCount() const { return m_visible; }

    // What the hero shows now (for tests and the screenshots).
    QString heroTitle() const;
    QString heroDetail() const;
    QString tabTitle(Tab tab) const;
    QList<DuplicateGroupCard*> cards() const;
    QPushButton* trashAllButton() const { return m_trashAll; }
    QPushButton* scanButton() const { return m_scanButton; }
    QPushButton* showMoreButton() const { return m_showMore; }
    QProgressBar* progressBar() const { return m_progress; }
    // The open confirmation of "Trash All Extras", if any.
    QMessageBox* confirmation() const { return m_confirm; }

    // The toast text after a move: "Moved 2 files to Trash · 1.2 MB freed".
    static QString toastMessage(int count, qint64 bytes);
    // What the toast says of groups whose extras stayed where they are: the
    // first by its kept copy's name, and why.
    static QString stoodDownMessage(const QList<DuplicateFinder::StoodDown>& groups);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeHero();
    QWidget* makeTabs();
    const QList<DuplicateGroup>& groups() const;
    DuplicateFinder::Phase shownPhase() const;
    qint64 reclaimable() const;
    int extrasCount() const;
    void refresh();
    void refreshHero();
    void refreshTabs();
    void refreshCards();
    void startScan();
    // Calls `use` with the library's scopes once they are listed (none without a library).
    void withScopes(std::function<void(const QStringList&)> use);
    void confirmTrashAll();
    void trash(const QList<QUuid>& ids);

    AppContext m_context;
    DuplicateFinder* m_finder;
    Tab m_tab = Tab::exact;
    int m_visible = kPage;
    bool m_scanAsked = false;

    QLabel* m_badgeSymbol = nullptr;
    QLabel* m_heroTitle = nullptr;
    QLabel* m_heroDetail = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_trashAll = nullptr;
    QPushButton* m_scanButton = nullptr;
    QPushButton* m_exactTab = nullptr;
    QPushButton* m_similarTab = nullptr;
    QVBoxLayout* m_list = nullptr;
    QPushButton* m_showMore = nullptr;
    QHash<QUuid, DuplicateGroupCard*> m_cards;
    QList<DuplicateGroupCard*> m_order;
    QMessageBox* m_confirm = nullptr;
};

} // namespace ovra
