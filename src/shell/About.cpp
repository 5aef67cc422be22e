#include "shell/About.h"

#include "base/Product.h"
#include "platform/QtText.h"
#include "shell/ApplicationTitle.h"
#include "shell/ProgramIcon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace halcyra {

namespace {

QString aboutText() {
    QStringList lines{
        QStringLiteral("A simple program to detect file changes, calculate file hash values, check file hash "
                       "values, and "),
        QStringLiteral("find duplicate files."),
        QString(),
        QStringLiteral("See the help file for more information."),
        QString(),
        qtText(ApplicationTitle) + QStringLiteral(" for Linux desktops."),
        QStringLiteral("Web site: ") + qtText(kProductHomePage),
        QStringLiteral("Questions, suggestions and bug reports: see the online forums on the web site."),
        QString(),
        QStringLiteral("Acknowledgements:"),
        QStringLiteral("- The MD5 message-digest algorithm, RSA Data Security, Inc. (RFC 1321)."),
        QStringLiteral("- Qt, SQLite, libzip and libcurl."),
    };
    return lines.join(QLatin1Char('\n'));
}

} // namespace

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmAbout"));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(programIcon().pixmap(64, 64));
    Image1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* body = new QHBoxLayout;
    body->addWidget(Image1);
    body->addWidget(Memo1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    resize(480, 280);
}

void TfrmAbout::showOver(QWidget* owner) {
    TfrmAbout window(owner);
    window.exec();
}

void TfrmAbout::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TfrmAbout::FormShow() {
    setWindowTitle(QStringLiteral("About ") + qtText(ApplicationTitle));
    Memo1->setPlainText(aboutText());
    BitBtn1->setFocus();
}

} // namespace halcyra
