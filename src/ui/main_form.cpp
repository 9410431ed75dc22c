#include "ui/main_form.h"

MainForm::MainForm(QWidget* parent)
    : QWidget(parent)
    , m_engine(*this)
{
    setWindowTitle(QStringLiteral(" Veltora 設定"));
}

MainForm::~MainForm() = default;
