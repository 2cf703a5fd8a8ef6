#include "app/CAboutDialog.h"
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

CAboutDialog::CAboutDialog(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("About Tarvik11"));
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(QPixmap(QStringLiteral(":/splash.png")));
    picture->setFrameShape(QFrame::StyledPanel);
    picture->setFrameShadow(QFrame::Sunken);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setHorizontalSpacing(8);
    layout->addWidget(picture, 0, 0, 2, 1);
    layout->addWidget(ok, 0, 1, Qt::AlignTop);
    layout->setRowStretch(1, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ok->setFocus();
}
