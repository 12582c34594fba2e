#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;

namespace ovra {

class CountCapsule;
class Spinner;

// The heading of a home-screen section: the title, then a count in a capsule
// when there is one, then a spinner while loading. Count and spinner are
// independent of each other.
class SectionTitle : public QWidget {
    Q_OBJECT
public:
    explicit SectionTitle(const QString& title, std::optional<qint64> count = std::nullopt,
                          bool loading = false, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setCount(std::optional<qint64> count);
    void setLoading(bool loading);

    QString title() const;
    // The capsule's text (the count with the locale's grouping); empty without a count.
    QString countText() const;
    bool isLoading() const;

private:
    QLabel* m_title;
    CountCapsule* m_count;
    Spinner* m_spinner;
};

} // namespace ovra
