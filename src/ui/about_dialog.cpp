#include "ui/about_dialog.h"

#include "ui/controls.h"
#include "ui/guide_window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

namespace {

QPointer<Dialog> s_current;

// The layout is given in twips; the window's reference grid is 15 twips to the pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QFont gothicFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(11.25);
    font.setWeight(QFont::Normal);
    return font;
}

QPixmap artwork(const QString& resource, const QSize& size)
{
    QPixmap pixmap(resource);
    if (pixmap.isNull())
        return {};
    if (pixmap.size() != size)
        pixmap = pixmap.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return pixmap;
}

template <typename T> T* control(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

Dialog::Dialog(QWidget* parent)
    : QDialog(parent,
              // A tool window keeps the box out of the taskbar; the hints leave only the title and close box.
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                  Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("Dialog"));
    setWindowTitle(QStringLiteral("Veltora バージョン情報"));
    setFixedSize(6060 / 15, 1710 / 15);
    setModal(false);
    // Closing the box while the main window lies hidden in the tray must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    // Created in reverse stacking order, so that the first in the list lies on top.
    Image1 = control<QLabel>(this, "Image1", twips(210, 105, 480, 480));
    Image1->setPixmap(artwork(QStringLiteral(":/ui/veltora-32-256.png"), QSize(32, 32)));
    Image2 = control<QLabel>(this, "Image2", twips(4095, 1260, 1875, 480));
    Image2->setPixmap(artwork(QStringLiteral(":/ui/banner.png"), QSize(125, 32)));

    Label1 = control<QLabel>(this, "Label1", twips(945, 105, 3375, 330));
    Label1->setText(QStringLiteral("自宅Webサーバ構築運営ツール"));
    Label1->setFont(gothicFont());
    LblStatus = control<QLabel>(this, "LblStatus", twips(3570, 525, 855, 225));
    LblStatus->setText(QStringLiteral("ver.0.5.1"));
    Label2 = control<QLabel>(this, "Label2", twips(210, 1365, 3690, 225));
    Label2->setText(QStringLiteral("Veltora の開発者"));
    Label3 = control<QLabel>(this, "Label3", twips(945, 420, 1485, 225));
    Label3->setText(QStringLiteral("Veltora"));
    Label3->setFont(gothicFont());

    OKButton = control<QPushButton>(this, "OKButton", twips(4725, 120, 1215, 375));
    OKButton->setText(QStringLiteral("OK"));
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);

    Text1 = control<QLineEdit>(this, "Text1", twips(735, 945, 2955, 270));
    Text1->setText(homePageAddress());
    Text1->setCursorPosition(0);
    // The address is the program's own; it is shown to be read or copied, not to be edited.
    Text1->setReadOnly(true);
    QPalette textPalette = Text1->palette();
    textPalette.setColor(QPalette::Base, QApplication::palette("QMenu").color(QPalette::Window));
    Text1->setPalette(textPalette);

    Command1 = control<QPushButton>(this, "Command1", twips(4725, 630, 1215, 375));
    Command1->setText(QStringLiteral("ﾎｰﾑﾍﾟｰｼﾞ"));
    Command1->setAutoDefault(false);

    setTabOrder(OKButton, Command1);
    setTabOrder(Command1, Text1);
    OKButton->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Dialog::Command1_Click);
    connect(OKButton, &QPushButton::clicked, this, &Dialog::OKButton_Click);
    // OK, Esc and the close box all end here: the box is unloaded, the next request makes a new one.
    connect(this, &QDialog::finished, this, [this] {
        if (s_current == this)
            s_current = nullptr;
        deleteLater();
    });
}

Dialog* Dialog::showDialog()
{
    if (!s_current) {
        s_current = new Dialog;
        centreOnScreen(s_current);
    }
    s_current->show();
    s_current->raise();
    s_current->activateWindow();
    return s_current;
}

Dialog* Dialog::current()
{
    return s_current;
}

QString Dialog::guideFile(const QString& executableDir, const QString& docDir)
{
    // Where it is missing (an image without /usr/share/doc), the address still says where the guide belongs.
    return QDir::cleanPath(executableDir + QLatin1Char('/') + docDir + QStringLiteral("/guide.ja.md"));
}

QString Dialog::homePageAddress()
{
    const QString guide =
        guideFile(QCoreApplication::applicationDirPath(), QString::fromUtf8(VELTORA_GUIDE_FROM_WINDOW));
    return QUrl::fromLocalFile(guide).toString();
}

void Dialog::Command1_Click()
{
    // A .md file handed to the desktop opens as raw text, or not at all: the program shows it itself.
    GuideWindow::showGuide();
}

void Dialog::OKButton_Click()
{
    accept();
}
