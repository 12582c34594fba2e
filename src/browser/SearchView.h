#pragma once

#include "platform/KeyedTask.h"
#include "ui/AppContext.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

namespace ovra {

class FileBrowser;

// "1 match in your home folders", "2,048 matches in your home folders", with
// " · N found by text inside images" when the text index added files.
QString searchSubtitle(qsizetype count, int textMatchCount);

// The screen of search results. It waits until the typing pauses, asks the
// library store for the search, and shows the store's answer only while that
// answer is for the text typed now: an older answer never shows under a newer
// text, which reads "Searching…" until its own answer comes.
class SearchView : public QWidget {
    Q_OBJECT
public:
    // How long the trimmed text must stay the same before its search starts.
    static constexpr std::chrono::milliseconds kDebounce{220};

    // Runs a task once after a delay, on the GUI thread. Tests give their own
    // to move time by hand; the default is a Qt timer tied to the view.
    using Delay = std::function<void(std::chrono::milliseconds delay, std::function<void()> task)>;

    explicit SearchView(const AppContext& context, QWidget* parent = nullptr);
    SearchView(const AppContext& context, Delay delay, QWidget* parent = nullptr);

    // The search text trimmed of white space at both ends (line breaks too).
    QString query() const;
    // Whether the store's last finished search is the one for `query()`.
    bool isCurrent() const;
    // The "Understood as" chips shown now; none while the answer is not current.
    QStringList chips() const;
    FileBrowser* browser() const { return m_browser; }

private:
    void textChanged();
    void startSearch(const QString& query);
    void showResult();

    AppContext m_context;
    Delay m_delay;
    FileBrowser* m_browser;
    // Keyed by the text whose wait or search was started last: a keystroke that
    // leaves the trimmed text as it was starts nothing, and a wait that a newer
    // text overtook searches for nothing.
    KeyedTask<QString> m_waiting;
    std::optional<QStringList> m_shownChips;
};

} // namespace ovra
