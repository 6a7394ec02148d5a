// The window: a fixed 780 x 460 card of header, mode section and status line.

#include "gui/app_delegate.h"
#include "gui/palette.h"
#include "gui/views.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QLayout>
#include <QMainWindow>
#include <QShortcut>
#include <QStyle>

namespace {

constexpr int contentWidth = 780;
constexpr int contentHeight = 460;
constexpr int margin = 32;
constexpr int columnWidth = contentWidth - 2 * margin; // 716

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    setTextColour(label, colour);
    return label;
}

QWidget* makeLine(QWidget* parent)
{
    return new RoundedView(palette::separatorColor(), 0, Qt::transparent, 0, parent);
}

// The logo in its rounded frame; the application's icon stands in when it is missing.
class LogoView : public QWidget {
public:
    explicit LogoView(QWidget* parent) : QWidget(parent)
    {
        m_image = QPixmap(QStringLiteral(":/TevrunLogo"));
        if (m_image.isNull())
            m_image = QApplication::windowIcon().pixmap(58, 58);
        if (m_image.isNull())
            m_image = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(58, 58);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        QPainterPath frame;
        frame.addRoundedRect(QRectF(rect()), 14, 14);
        painter.setClipPath(frame);
        painter.drawPixmap(rect(), m_image);
    }

private:
    QPixmap m_image;
};

} // namespace

static void loadResources() { Q_INIT_RESOURCE(resources); }

void AppDelegate::buildWindow()
{
    loadResources();
    m_window = new QMainWindow;
    m_window->setWindowTitle(QStringLiteral("tevrun cloud Morvane"));
    m_window->setWindowIcon(QIcon(QStringLiteral(":/TevrunLogo")));
    m_window->setObjectName(QStringLiteral("window"));
    m_window->setPalette(palette::light());

    m_content = new BackgroundView;
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setFixedSize(contentWidth, contentHeight);
    m_window->setCentralWidget(m_content);
    m_window->layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_topHairline = makeLine(m_content);
    m_topHairline->setObjectName(QStringLiteral("topHairline"));
    m_logo = new LogoView(m_content);
    m_logo->setObjectName(QStringLiteral("logo"));

    m_titleLabel = makeLabel(QStringLiteral("tevrun cloud Morvane"), systemFont(24, QFont::Bold), palette::titleColor(), m_content);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_headlineLabel = makeLabel(QStringLiteral("在 GPT 账号 登陆和 TEVRUN API 之间切换。"), systemFont(14),
                                palette::bodyColor(), m_content);
    m_headlineLabel->setObjectName(QStringLiteral("headlineLabel"));

    QColor pillFill = palette::systemGreen();
    pillFill.setAlphaF(0.1f);
    QColor pillBorder = palette::systemGreen();
    pillBorder.setAlphaF(0.24f);
    m_statusPill = new RoundedView(pillFill, 14, pillBorder, 1, m_content);
    m_statusPill->setObjectName(QStringLiteral("statusPill"));
    m_pillDot = new RoundedView(palette::systemGreen(), 4, Qt::transparent, 0, m_statusPill);
    m_pillDot->setObjectName(QStringLiteral("pillDot"));
    m_pillLabel = makeLabel(QStringLiteral("检测中"), systemFont(12, QFont::Medium), palette::systemGreen(), m_statusPill);
    m_pillLabel->setObjectName(QStringLiteral("pillLabel"));

    m_sectionSeparator = makeLine(m_content);
    m_sectionSeparator->setObjectName(QStringLiteral("sectionSeparator"));
    m_sectionLabel = makeLabel(QStringLiteral("使用方式"), systemFont(13, QFont::DemiBold), palette::labelColor(), m_content);
    m_sectionLabel->setObjectName(QStringLiteral("sectionLabel"));

    m_modeControl = new SegmentedControl(QStringLiteral("GPT 账号 登陆"), QStringLiteral("TEVRUN API"), m_content);
    m_modeControl->setObjectName(QStringLiteral("modeControl"));
    connect(m_modeControl, &SegmentedControl::changedByUser, this, &AppDelegate::modeChanged);

    m_apiPanel = createApiPanel();
    m_apiPanel->setParent(m_content);
    m_apiPanel->setObjectName(QStringLiteral("apiPanel"));

    m_actionButton = new PrimaryButton(QStringLiteral("切到 TEVRUN API 并打开 Codex"), m_content);
    m_actionButton->setObjectName(QStringLiteral("actionButton"));
    connect(m_actionButton, &QPushButton::clicked, this, &AppDelegate::runPrimaryAction);
    // Return anywhere in the window, the key fields included, presses the action button.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), m_window);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (m_actionButton->isEnabled())
                runPrimaryAction();
        });
    }

    m_statusDot = new RoundedView(palette::systemGreen(), 4, Qt::transparent, 0, m_content);
    m_statusDot->setObjectName(QStringLiteral("statusDot"));
    m_statusLabel = new ElidingLabel(QStringLiteral("切换前会自动保留可恢复状态。"), m_content);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setFont(systemFont(12));
    setTextColour(m_statusLabel, palette::bodyColor());

    m_repairButton = new LinkButton(QStringLiteral("修复配置"), palette::bodyColor(), m_content);
    m_repairButton->setObjectName(QStringLiteral("repairButton"));
    connect(m_repairButton, &QPushButton::clicked, this, &AppDelegate::repairConfig);
    m_keyPageButton = new LinkButton(QStringLiteral("获取 TEVRUN API"), palette::systemBlue(), m_content);
    m_keyPageButton->setObjectName(QStringLiteral("keyPageButton"));
    connect(m_keyPageButton, &QPushButton::clicked, this, &AppDelegate::openKeyPage);

    layoutContent();
}

// Places every view where the window's layout puts it, from the top down; the labels'
// heights come from their fonts.
void AppDelegate::layoutContent()
{
    m_topHairline->setGeometry(0, 0, contentWidth, 1);
    m_logo->setGeometry(margin, 30, 58, 58);

    const QSize title = m_titleLabel->sizeHint();
    m_titleLabel->setGeometry(margin + 58 + 14, 28, title.width(), title.height());

    const QRect pill(contentWidth - 72 - 142, 36, 142, 28);
    m_statusPill->setGeometry(pill);
    m_pillDot->setGeometry(13, (pill.height() - 8) / 2, 8, 8);
    const QSize pillText = m_pillLabel->sizeHint();
    m_pillLabel->setGeometry(13 + 8 + 8, (pill.height() - pillText.height()) / 2, pillText.width(), pillText.height());

    const QSize headline = m_headlineLabel->sizeHint();
    const int headlineX = m_titleLabel->x();
    m_headlineLabel->setGeometry(headlineX, m_titleLabel->geometry().bottom() + 1 + 7,
                                 std::min(headline.width(), pill.left() - 18 - headlineX), headline.height());

    m_sectionSeparator->setGeometry(margin, 118, columnWidth, 1);
    const QSize section = m_sectionLabel->sizeHint();
    m_sectionLabel->setGeometry(margin, 118 + 1 + 24, section.width(), section.height());

    const int modeTop = m_sectionLabel->geometry().bottom() + 1 + 8;
    m_modeControl->setGeometry(margin, modeTop, columnWidth, 38);
    const int panelTop = modeTop + 38 + 20;
    m_apiPanel->setGeometry(margin, panelTop, columnWidth, m_apiPanelHeight);
    const int actionTop = panelTop + m_apiPanelHeight + 18;
    m_actionButton->setGeometry(margin, actionTop, columnWidth, 46);

    const int rowTop = actionTop + 46 + 15;
    const int rowHeight = std::max(8, m_statusLabel->sizeHint().height());
    const int rowCentre = rowTop + rowHeight / 2;

    const QSize repair = m_repairButton->sizeHint();
    const QSize keyPage = m_keyPageButton->sizeHint();
    const int linksLeft = contentWidth - margin - keyPage.width() - 16 - repair.width();
    m_repairButton->setGeometry(linksLeft, rowCentre - repair.height() / 2, repair.width(), repair.height());
    m_keyPageButton->setGeometry(contentWidth - margin - keyPage.width(), rowCentre - keyPage.height() / 2,
                                 keyPage.width(), keyPage.height());

    m_statusDot->setGeometry(margin, rowCentre - 4, 8, 8);
    const int labelLeft = margin + 8 + 8;
    m_statusLabel->setGeometry(labelLeft, rowTop, linksLeft - 12 - labelLeft, rowHeight);
}
