#pragma once

#include <QPointer>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>

namespace ovra {

class AppState;
class ToastCapsule;

// The app's one transient message, AppState's toast: a dark capsule near the
// bottom edge of the window, over everything else. The view only shows what
// the state holds; when a toast times out is for the state to decide.
//
// Made as a child of the window's content, it keeps itself along its parent's
// bottom edge and lets every click through.
class ToastView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 40;
    static constexpr int kBottomPadding = 28;

    // Shows the state's toast and follows every change of it.
    ToastView(const AppState& state, QWidget* parent);
    // A view that shows only what it is told (showToast, clearToast).
    explicit ToastView(QWidget* parent);

    // A toast with a new id replaces the shown one, moving in from the bottom
    // edge, even when its message and symbol are the same. The same id again
    // changes nothing.
    void showToast(const QUuid& id, const QString& message, const QString& symbol);
    // Removes the shown toast, moving it out.
    void clearToast();

    std::optional<QUuid> shownId() const;
    // The capsule's text as drawn, its lines joined by line breaks: a toast
    // grows with its text up to a width, then wraps; only a text longer than a
    // few lines is cut.
    QString shownText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followParent();

    QPointer<ToastCapsule> m_capsule;
};

} // namespace ovra
