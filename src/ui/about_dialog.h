#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The about box: the program's name, purpose line and version, a button that shows the program's home
// page (its own user's guide, built into it, in a window of its own) and OK. Shown without a modal loop and without an owner, one at a time.
class Dialog : public QDialog
{
    Q_OBJECT
public:
    explicit Dialog(QWidget* parent = nullptr);

    // Shows the about box: the first request creates it, later ones while it is open bring the same box
    // forward. After it has been closed the next request creates it afresh.
    static Dialog* showDialog();
    // The about box now open, or nullptr.
    static Dialog* current();

    // The address shown in Text1: where the installed guide lies, as a file address, for reading it with
    // another program. "ﾎｰﾑﾍﾟｰｼﾞ" shows the copy built into the program, which needs no installed file.
    static QString homePageAddress();
    // The installed guide in the program's language (docDir, relative to the window program's folder:
    // PREFIX/libexec/veltora → PREFIX/share/doc/veltora); never a folder of the machine it was built on.
    static QString guideFile(const QString& executableDir, const QString& docDir);

    QPushButton* Command1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* OKButton = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* LblStatus = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image1 = nullptr;

private slots:
    void Command1_Click();
    void OKButton_Click();
};
