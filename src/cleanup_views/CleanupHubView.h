#pragma once

#include "ui/AppContext.h"

#include <QScrollArea>

class QLabel;

namespace ovra {

class CleanupSection;

// The page of every suggestion: one sentence of how much could be freed, the
// cards, and the reassurance that nothing is deleted without asking. It loads
// nothing; the start-up pipeline fills the stores and the page follows them.
class CleanupHubView : public QScrollArea {
    Q_OBJECT
public:
    // The sentence under the title.
    static QString subtitle(const AppContext& context);

    explicit CleanupHubView(const AppContext& context, QWidget* parent = nullptr);

    QLabel* subtitleLabel() const { return m_subtitle; }
    CleanupSection* section() const { return m_section; }

private:
    void showSubtitle();

    AppContext m_context;
    QLabel* m_subtitle;
    CleanupSection* m_section;
};

} // namespace ovra
