#pragma once

#include "DetailRoute.h"
#include "ui/AppContext.h"

#include <QWidget>

namespace ovra {

// The middle of the window, below the top bar: shows the one screen that the
// search and the sidebar selection route to. It holds no state of its own; a
// screen is built afresh whenever the route changes and lives only while its
// route stays, so coming back to a place starts that screen anew.
class DetailView : public QWidget {
    Q_OBJECT
public:
    explicit DetailView(const AppContext& context, QWidget* parent = nullptr);

    DetailRoute route() const { return m_route; }
    // The screen on show.
    QWidget* screen() const { return m_screen; }
    // Goes back as the screen's own back button does; false when it shows none.
    bool goBack();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();
    void showRoute(const DetailRoute& route);
    QWidget* buildScreen(const DetailRoute& route);

    AppContext m_context;
    DetailRoute m_route;
    QWidget* m_screen = nullptr;
};

} // namespace ovra
