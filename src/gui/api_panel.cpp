// The key panel: a masked and a plain key field in one box, the reveal and check buttons.

#include "core/constants.h"
#include "gui/app_delegate.h"
#include "gui/palette.h"
#include "gui/views.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr int panelWidth = 716;

} // namespace

QWidget* AppDelegate::createApiPanel()
{
    auto* panel = new QWidget;
    auto* title = new QLabel(QStringLiteral("TEVRUN API"), panel);
    title->setObjectName(QStringLiteral("apiPanelTitle"));
    title->setFont(systemFont(13, QFont::DemiBold));
    setTextColour(title, palette::labelColor());

    auto* box = new RoundedView(Qt::white, 8, palette::fieldBorder(), 1, panel);
    box->setObjectName(QStringLiteral("keyFieldBox"));
    m_secureField = new KeyField(box);
    m_secureField->setObjectName(QStringLiteral("secureField"));
    m_secureField->setEchoMode(QLineEdit::Password);
    m_plainField = new KeyField(box);
    m_plainField->setObjectName(QStringLiteral("plainField"));
    for (QLineEdit* field : {m_secureField, m_plainField}) {
        configureKeyField(field);
        field->setPlaceholderText(QStringLiteral("sk-..."));
    }
    m_plainField->hide();

    m_revealButton = new SecondaryButton(QStringLiteral("显示"), panel);
    m_revealButton->setObjectName(QStringLiteral("revealButton"));
    connect(m_revealButton, &QPushButton::clicked, this, &AppDelegate::toggleReveal);
    m_checkApiButton = new SecondaryButton(QStringLiteral("检查 API"), panel);
    m_checkApiButton->setObjectName(QStringLiteral("checkApiButton"));
    connect(m_checkApiButton, &QPushButton::clicked, this, &AppDelegate::checkApiKey);

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
    return panel;
}

void AppDelegate::configureKeyField(QLineEdit* field)
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

void AppDelegate::toggleReveal()
{
    m_revealingKey = !m_revealingKey;
    QLineEdit* from = m_revealingKey ? m_secureField : m_plainField;
    QLineEdit* to = m_revealingKey ? m_plainField : m_secureField;
    to->setText(from->text());
    to->show();
    from->hide();
    m_revealButton->setText(m_revealingKey ? QStringLiteral("隐藏") : QStringLiteral("显示"));
    to->setFocus(Qt::OtherFocusReason);
}

QString AppDelegate::currentApiKeyInput() const
{
    return (m_revealingKey ? m_plainField : m_secureField)->text();
}

void AppDelegate::setApiFieldText(const QString& text)
{
    m_secureField->setText(text);
    m_plainField->setText(text);
}

void AppDelegate::checkApiKey()
{
    if (m_switching)
        return;
    runWorkflow([key = currentApiKeyInput()](Workflows& engine) { return engine.checkKey(key); });
}

void AppDelegate::openKeyPage()
{
    m_workspace.openURL(QUrl(morvane::relayHomePageURL));
}
