#pragma once

#include <QDialog>

namespace ovra {

// Help › "About Ovra": the name, this build's version and the libraries the
// app stands on with their licences, as every desktop app shows them.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace ovra
