#include "AboutDialog.h"

#include "platform/LibraryNotices.h"
#include "ui/OvraLogo.h"
#include "ui/Theme.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr double kLogoSide = 64;

QLabel* plainLabel(const QString& text, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("About Ovra"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 16);
    column->setSpacing(8);

    column->addWidget(new OvraLogo(kLogoSide, this), 0, Qt::AlignHCenter);
    auto* name = plainLabel(QStringLiteral("Ovra"), Theme::font(20, QFont::Bold), this);
    column->addWidget(name, 0, Qt::AlignHCenter);
    auto* version = plainLabel(tr("Version %1").arg(applicationVersion()), Theme::font(12), this);
    column->addWidget(version, 0, Qt::AlignHCenter);

    column->addSpacing(12);
    column->addWidget(plainLabel(tr("Built with"), Theme::font(12, QFont::DemiBold), this));
    auto* table = new QGridLayout;
    table->setHorizontalSpacing(16);
    table->setVerticalSpacing(4);
    int row = 0;
    for (const LibraryNotice& notice : libraryNotices()) {
        table->addWidget(plainLabel(notice.name, Theme::font(12), this), row, 0);
        table->addWidget(plainLabel(notice.version, Theme::font(12), this), row, 1);
        table->addWidget(plainLabel(notice.licence, Theme::font(12), this), row, 2);
        ++row;
    }
    column->addLayout(table);

    column->addSpacing(8);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
}

} // namespace ovra
