#include "ui/controls.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>

int twipsToPixels(int twips)
{
    return qRound(twips / double(TwipsPerPixel));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

OptionButton::OptionButton(const QString& text, QWidget* parent) : QRadioButton(text, parent)
{
    // Qt's own exclusivity refuses to clear the selected button, which loading a slot must be able to do.
    setAutoExclusive(false);
    connect(this, &QAbstractButton::toggled, this, &OptionButton::clearOthers);
}

void OptionButton::makeGroup(const QList<OptionButton*>& buttons)
{
    for (OptionButton* button : buttons) {
        button->m_group.clear();
        for (OptionButton* other : buttons) {
            if (other != button)
                button->m_group << other;
        }
    }
}

void OptionButton::nextCheckState()
{
    if (!isChecked())
        setChecked(true);
}

bool OptionButton::hitButton(const QPoint& pos) const
{
    // The caption is part of the button, as with a check box.
    return rect().contains(pos);
}

void OptionButton::clearOthers(bool selected)
{
    if (!selected)
        return;
    for (OptionButton* other : std::as_const(m_group))
        other->setChecked(false);
}

void ImageLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

namespace {

// The row of tabs is as high as the classic tab strip's, so that the pages' designed places lie just below it.
constexpr int TabHeight = 20;

// Tabs as narrow as the captions allow, so that all ten fit the strip's width in one row.
class CompactTabStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return 12;
        if (metric == PM_TabBarTabVSpace)
            return 3;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_TabBarTab)
            result.setHeight(qMax(result.height(), TabHeight));
        return result;
    }
};

QStyle* compactTabStyle()
{
    // Shared by every strip and owned by the application, so that it outlives the widgets using it.
    static QPointer<QStyle> style;
    if (!style) {
        style = new CompactTabStyle;
        style->setParent(qApp);
    }
    return style;
}

constexpr int OutlineMargin = 4;
constexpr int TabBarIndent = 2;

} // namespace

TabStrip::TabStrip(const QStringList& captions, QWidget* parent) : QWidget(parent), m_tabBar(new QTabBar(this))
{
    m_tabBar->setStyle(compactTabStyle());
    m_tabBar->setExpanding(false);
    m_tabBar->setUsesScrollButtons(false);
    m_tabBar->setDrawBase(false);
    for (const QString& caption : captions)
        m_tabBar->addTab(caption);
    m_tabBar->setCurrentIndex(0);
    m_tabBar->move(TabBarIndent, 0);
    m_tabBar->resize(m_tabBar->sizeHint());
    setFocusProxy(m_tabBar);

    connect(m_tabBar, &QTabBar::currentChanged, this, &TabStrip::clicked);
    connect(m_tabBar, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && index == m_tabBar->currentIndex())
            emit clicked();
    });
}

int TabStrip::selectedItem() const
{
    return m_tabBar->currentIndex() + 1;
}

void TabStrip::setSelectedItem(int position)
{
    m_tabBar->setCurrentIndex(position - 1);
}

int TabStrip::clientLeft() const
{
    return x() + OutlineMargin;
}

int TabStrip::clientTop() const
{
    return y() + m_tabBar->height() + 1;
}

void TabStrip::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.shape = m_tabBar->shape();
    option.tabBarSize = m_tabBar->size();
    option.tabBarRect = m_tabBar->geometry();
    option.rect = rect().adjusted(0, m_tabBar->height() - 1, 0, 0);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, option);
    // The pages laid over the client area have the window's colour; the page area around them matches.
    painter.fillRect(option.rect.adjusted(2, 2, -2, -2), palette().window());
}

void TabStrip::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_tabBar->resize(qMin(m_tabBar->sizeHint().width(), width() - 2 * TabBarIndent), m_tabBar->sizeHint().height());
}

void centreOnScreen(QWidget* window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}
