#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <optional>

namespace ovra {

// The app's logo, a square of the given side: the "Logo" picture of the app's
// resources in a rounded frame with a hairline border, or the application's
// own icon when the resources have no logo.
class OvraLogo : public QWidget {
    Q_OBJECT
public:
    explicit OvraLogo(double size, QWidget* parent = nullptr);

    double logoSize() const { return m_size; }
    void setLogoSize(double size);
    // The theme's primary (text) colour, which the border is drawn in; the
    // palette's text colour until one is set.
    QColor primaryColor() const;
    void setPrimaryColor(const QColor& color);

    QSize sizeHint() const override;

    // The "Logo" picture of the app's resources, read once; null when absent.
    static const QImage& bundledLogo();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    double m_size;
    std::optional<QColor> m_primary;
};

} // namespace ovra
