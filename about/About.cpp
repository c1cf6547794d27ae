#include "About.h"

#include "Fonts.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace norvane {

using ui::twips;
using ui::twipsRect;

namespace {

QLabel* addLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    // Labels draw no background of their own, so the window's white shows through.
    label->setAutoFillBackground(false);
    return label;
}

}  // namespace

QString About::VersionCaption(int major, int minor, int revision) {
    return QStringLiteral("Version: %1.%2.%3").arg(major).arg(minor).arg(revision);
}

About::About(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("About Norvane"));
    setFixedSize(twips(6270), twips(2400));
    setFont(ui::SansFont(8.25));

    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    QLabel* label1 = addLabel(this, "Label1", QStringLiteral("Norvane Administrator"), twipsRect(120, 120, 6015, 615));
    label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label1->setFont(ui::SerifFont(27.75, true));
    QPalette blue = label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label1->setPalette(blue);

    lblVersion = addLabel(this, "lblVersion", QStringLiteral("Version: "), twipsRect(480, 840, 1575, 255));
    lblVersion->setFont(ui::SerifFont(9.75, true));

    addLabel(this, "Label4", tr("Programmed by the Norvane team"), twipsRect(3360, 840, 2655, 255));

    QLabel* label3 = addLabel(this, "Label3", tr("Copyright (c) 1999-2026 Tarsel.  All rights reserved."),
                              twipsRect(120, 1320, 3015, 375));
    label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label3->setWordWrap(true);

    QLabel* label5 = addLabel(this, "Label5", tr("Updates are available from your Tarsel distributor."),
                              twipsRect(3240, 1320, 2655, 495));
    label5->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label5->setWordWrap(true);
    label5->setFont(ui::SansFont(8.25, true));

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(2640, 1920, 975, 325));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &About::cmdOK_Click);

    // The window's load: the version fixed at build time.
    lblVersion->setText(VersionCaption(NORVANE_VERSION_MAJOR, NORVANE_VERSION_MINOR, NORVANE_VERSION_REVISION));
}

void About::cmdOK_Click() { hide(); }

// Not WA_DeleteOnClose: exec() deletes such a dialog however it was hidden, OK included.
void About::closeEvent(QCloseEvent* event) {
    QDialog::closeEvent(event);
    if (event->isAccepted())
        deleteLater();
}

}  // namespace norvane
