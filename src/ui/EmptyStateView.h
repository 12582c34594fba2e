#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace ovra {

class SymbolMark;

// What a screen shows when it has nothing to list: a large symbol, a title and
// a line of explanation, centred. All three are plain text and symbol names.
class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    EmptyStateView(const QString& title, const QString& symbol, const QString& message,
                   QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setSymbol(const QString& symbol);
    void setMessage(const QString& message);

    QString title() const;
    QString message() const;

private:
    void applyColors();

    SymbolMark* m_symbol;
    QLabel* m_title;
    QLabel* m_message;
};

} // namespace ovra
