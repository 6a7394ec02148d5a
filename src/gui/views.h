#pragma once

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

// A filled, rounded, bordered box; the two status dots are small ones.
class RoundedView : public QWidget {
public:
    RoundedView(const QColor& fill, qreal radius, const QColor& border, qreal borderWidth, QWidget* parent = nullptr);

    void setFillColor(const QColor& fill);
    QColor fillColor() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_fill;
    qreal m_radius;
    QColor m_border;
    qreal m_borderWidth;
};

// The large accent button: white title on system blue, grey when disabled.
class PrimaryButton : public QPushButton {
public:
    explicit PrimaryButton(const QString& title, QWidget* parent = nullptr);

    QColor backgroundColor() const;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A standard rounded push button with a medium 13-point title.
class SecondaryButton : public QPushButton {
public:
    explicit SecondaryButton(const QString& title, QWidget* parent = nullptr);
};

// A borderless link with a pointing hand over its whole area.
class LinkButton : public QPushButton {
public:
    LinkButton(const QString& title, const QColor& colour, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
};

// The window's background: fills itself and drags the window when pressed anywhere.
class BackgroundView : public QWidget {
public:
    explicit BackgroundView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint m_grabOffset;
};

// One line of text shortened in the middle when it does not fit; text() stays whole.
class ElidingLabel : public QLabel {
public:
    using QLabel::QLabel;
    QString displayedText() const;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A key field: one line that, while not being edited, shows a long key shortened in the
// middle so that its start and end stay readable.
class KeyField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    QString displayedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Two exclusive segments. Only a choice the user makes is reported.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    SegmentedControl(const QString& first, const QString& second, QWidget* parent = nullptr);

    int selectedSegment() const; // -1 when none is selected
    void setSelectedSegment(int segment);
    QPushButton* segmentButton(int segment) const;

Q_SIGNALS:
    void changedByUser(int segment);

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    QButtonGroup m_group;
    QPushButton* m_buttons[2];
};

// Sets the colour a label draws its text in.
void setTextColour(QWidget* widget, const QColor& colour);

// A system font of the given size in points and weight.
QFont systemFont(int points, QFont::Weight weight = QFont::Normal);
