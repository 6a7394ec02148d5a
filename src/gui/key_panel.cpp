#include "gui/key_panel.h"

#include "core/api_key.h"
#include "gui/palette.h"
#include "gui/views.h"

#include <QAction>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

namespace {

constexpr int panelWidth = 716;

// A small downward chevron, drawn rather than shipped.
QIcon chevronIcon()
{
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette::bodyColor(), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(4, 6.5), QPointF(8, 10.5), QPointF(12, 6.5)}));
    return QIcon(picture);
}

void configureKeyField(QLineEdit* field)
{
    field->setFrame(false);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(14);
    field->setFont(font);
    QPalette colours = field->palette();
    colours.setColor(QPalette::Base, Qt::transparent); // the white box shows through
    colours.setColor(QPalette::Text, palette::titleColor());
    field->setPalette(colours);
    field->setAttribute(Qt::WA_MacShowFocusRect, false);
}

} // namespace

KeyPanel::KeyPanel(QWidget* parent) : QWidget(parent)
{
    auto* title = new QLabel(QStringLiteral("TEVRUN API"), this);
    title->setObjectName(QStringLiteral("apiPanelTitle"));
    title->setFont(systemFont(13, QFont::DemiBold));
    setTextColour(title, palette::labelColor());

    auto* box = new RoundedView(Qt::white, 8, palette::fieldBorder(), 1, this);
    box->setObjectName(QStringLiteral("keyFieldBox"));
    m_secureField = new KeyField(box);
    m_secureField->setObjectName(QStringLiteral("secureField"));
    m_secureField->setEchoMode(QLineEdit::Password);
    m_plainField = new KeyField(box);
    m_plainField->setObjectName(QStringLiteral("plainField"));
    const QIcon chevron = chevronIcon();
    for (QLineEdit* field : {m_secureField, m_plainField}) {
        configureKeyField(field);
        field->setPlaceholderText(QStringLiteral("sk-..."));
        QAction* saved = field->addAction(chevron, QLineEdit::TrailingPosition);
        saved->setObjectName(QStringLiteral("savedKeysAction"));
        saved->setToolTip(QStringLiteral("已保存的 TEVRUN API"));
        connect(saved, &QAction::triggered, this, &KeyPanel::savedKeysRequested);
    }
    m_plainField->hide();

    m_revealButton = new SecondaryButton(QStringLiteral("显示"), this);
    m_revealButton->setObjectName(QStringLiteral("revealButton"));
    connect(m_revealButton, &QPushButton::clicked, this, &KeyPanel::toggleReveal);
    m_checkApiButton = new SecondaryButton(QStringLiteral("检查 API"), this);
    m_checkApiButton->setObjectName(QStringLiteral("checkApiButton"));
    connect(m_checkApiButton, &QPushButton::clicked, this, &KeyPanel::checkKeyRequested);

    // Placed from the panel's top edge; nothing is tied to its bottom.
    const QSize titleSize = title->sizeHint();
    title->setGeometry(0, 0, titleSize.width(), titleSize.height());
    const QRect checkArea(panelWidth - 82, 0, 82, 34);
    const QRect revealArea(checkArea.left() - 8 - 58, 0, 58, 34);
    const QRect boxArea(0, titleSize.height() + 8, revealArea.left() - 12, 42);
    box->setGeometry(boxArea);
    const int centreY = boxArea.top() + boxArea.height() / 2;
    m_checkApiButton->setGeometry(checkArea.translated(0, centreY - 17));
    m_revealButton->setGeometry(revealArea.translated(0, centreY - 17));
    const int fieldHeight = m_secureField->sizeHint().height();
    for (QLineEdit* field : {m_secureField, m_plainField})
        field->setGeometry(13, (boxArea.height() - fieldHeight) / 2, boxArea.width() - 26, fieldHeight);
}

QLineEdit* KeyPanel::shownField() const
{
    return m_revealingKey ? m_plainField : m_secureField;
}

QString KeyPanel::keyText() const
{
    return shownField()->text();
}

void KeyPanel::setKeyText(const QString& text)
{
    m_secureField->setText(text);
    m_plainField->setText(text);
}

void KeyPanel::focusKey()
{
    shownField()->setFocus(Qt::OtherFocusReason);
}

void KeyPanel::setInputsEnabled(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{m_revealButton, m_checkApiButton, m_secureField, m_plainField})
        control->setEnabled(enabled);
}

void KeyPanel::toggleReveal()
{
    m_revealingKey = !m_revealingKey;
    QLineEdit* from = m_revealingKey ? m_secureField : m_plainField;
    QLineEdit* to = shownField();
    to->setText(from->text());
    to->show();
    from->hide();
    m_revealButton->setText(m_revealingKey ? QStringLiteral("隐藏") : QStringLiteral("显示"));
    to->setFocus(Qt::OtherFocusReason);
}

void KeyPanel::showSavedKeys(const std::vector<HistoryItem>& keys)
{
    auto* menu = new QMenu(window());
    menu->setObjectName(QStringLiteral("savedKeysMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (keys.empty())
        menu->addAction(QStringLiteral("还没有保存的 TEVRUN API"))->setEnabled(false);
    QMenu* forget = keys.empty() ? nullptr : new QMenu(QStringLiteral("删除已保存的 TEVRUN API"), menu);
    for (const HistoryItem& item : keys) {
        const QString title = shortenedKey(item.apiKey) + QStringLiteral("　") + item.date.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        menu->addAction(title, this, [this, key = item.apiKey] { setKeyText(key); });
        forget->addAction(title, this, [this, item] { confirmForgettingKey(item); });
    }
    if (forget) {
        menu->addSeparator();
        menu->addMenu(forget);
    }
    QLineEdit* field = shownField();
    menu->popup(field->mapToGlobal(QPoint(field->width() - menu->sizeHint().width(), field->height())));
}

void KeyPanel::confirmForgettingKey(const HistoryItem& item)
{
    auto* confirmation = new QMessageBox(window());
    confirmation->setObjectName(QStringLiteral("forgetKeyConfirmation"));
    confirmation->setAttribute(Qt::WA_DeleteOnClose);
    confirmation->setWindowModality(Qt::WindowModal);
    confirmation->setIcon(QMessageBox::Question);
    confirmation->setText(QStringLiteral("删除保存的 TEVRUN API %1？").arg(shortenedKey(item.apiKey)));
    confirmation->setInformativeText(QStringLiteral("只删除 Morvane 保存的这一条记录，Codex 的设置不会改变。"));
    QPushButton* remove = confirmation->addButton(QStringLiteral("删除"), QMessageBox::DestructiveRole);
    confirmation->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    connect(remove, &QPushButton::clicked, this, [this, item] { Q_EMIT forgetKeyRequested(item); });
    confirmation->open();
}
