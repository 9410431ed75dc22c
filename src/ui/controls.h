#pragma once

#include <QLabel>
#include <QList>
#include <QRadioButton>
#include <QRect>
#include <QWidget>

class QTabBar;

// The window is laid out in twips, 15 to a pixel (96 dots per inch).
inline constexpr int TwipsPerPixel = 15;
int twipsToPixels(int twips);
QRect twipsRect(int left, int top, int width, int height);

// Moves a window that opens on its own into the middle of the primary screen's free area.
void centreOnScreen(QWidget* window);

// An option button of a group whose exclusivity is kept by hand: selecting one clears the others of its group,
// while clearing one leaves the others alone, so a group can end up with none selected. A click only selects.
class OptionButton : public QRadioButton
{
    Q_OBJECT
public:
    explicit OptionButton(const QString& text, QWidget* parent = nullptr);

    // Joins the buttons into one group.
    static void makeGroup(const QList<OptionButton*>& buttons);

    bool value() const { return isChecked(); }
    void setValue(bool selected) { setChecked(selected); }

protected:
    void nextCheckState() override;
    bool hitButton(const QPoint& pos) const override;

private:
    void clearOthers(bool selected);

    QList<OptionButton*> m_group;
};

// A picture that reports a click with the left button.
class ImageLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A strip of tabs over a drawn page outline. The pages themselves are separate widgets laid over its client
// area by whoever owns them; the strip only reports the chosen tab.
class TabStrip : public QWidget
{
    Q_OBJECT
public:
    explicit TabStrip(const QStringList& captions, QWidget* parent = nullptr);

    QTabBar* tabBar() const { return m_tabBar; }

    // 1-based position of the selected tab; 0 when none.
    int selectedItem() const;
    void setSelectedItem(int position);

    // The page area inside the outline, in the coordinates of the strip's parent.
    int clientLeft() const;
    int clientTop() const;

signals:
    // A tab was chosen, also the one already selected.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTabBar* m_tabBar;
};
