#pragma once

#include <QColor>
#include <QProxyStyle>

class QAbstractButton;

namespace ovra {

// The app's push buttons drawn with the theme instead of the platform's
// bevels, so the plain buttons of every screen, the duplicates screen's tabs
// and the buttons of the app's dialogs look like the rest of the app: a card
// coloured plate with a hairline, the ink colour for the chosen tab, a tinted
// plate for the one prominent action. Dialogs show a symbol of the theme for
// the platform's warning or information picture and no pictures on their
// buttons; menus are a rounded card with a soft plate under the row pointed at.
class ThemeStyle : public QProxyStyle {
    Q_OBJECT
public:
    enum class ButtonRole { bordered, prominent };

    ThemeStyle();

    // Installs the style for the whole application, once.
    static void install();
    // A prominent button is filled with its tint and labelled in white.
    static void setButtonRole(QAbstractButton* button, ButtonRole role, QColor tint = {});

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override;
    void polish(QWidget* widget) override;
    using QProxyStyle::polish;
};

} // namespace ovra
