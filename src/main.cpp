#include "ui/main_form.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    MainForm form; // shows itself, or starts in the notification area
    return app.exec();
}
