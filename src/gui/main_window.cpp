#include "gui/main_window.h"

#include "gui/key_panel.h"
#include "gui/palette.h"
#include "gui/restore_dialog.h"
#include "gui/views.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
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

QColor colourOf(StatusTone tone)
{
    switch (tone) {
    case StatusTone::Busy:
        return palette::systemBlue();
    case StatusTone::Failure:
        return palette::systemRed();
    case StatusTone::Ready:
    case StatusTone::Success:
        break;
    }
    return palette::systemGreen();
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

MainWindow::MainWindow() : m_actionTitle(QStringLiteral("切到 TEVRUN API 并打开 Codex"))
{
    loadResources();
    setWindowTitle(QStringLiteral("tevrun cloud Morvane"));
    setWindowIcon(QIcon(QStringLiteral(":/TevrunLogo")));
    setObjectName(QStringLiteral("window"));
    setPalette(palette::light());
    buildContent();
    installMainMenu();
}

void MainWindow::buildContent()
{
    m_content = new BackgroundView;
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setFixedSize(contentWidth, contentHeight);
    setCentralWidget(m_content);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

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
    connect(m_modeControl, &SegmentedControl::changedByUser, this,
            [this](int segment) { Q_EMIT modeChosen(segment == 0 ? ModeAccount : ModeApi); });

    m_keyPanel = new KeyPanel(m_content);
    m_keyPanel->setObjectName(QStringLiteral("apiPanel"));
    connect(m_keyPanel, &KeyPanel::checkKeyRequested, this, &MainWindow::checkKeyRequested);
    connect(m_keyPanel, &KeyPanel::savedKeysRequested, this, &MainWindow::savedKeysRequested);
    connect(m_keyPanel, &KeyPanel::forgetKeyRequested, this, &MainWindow::forgetKeyRequested);

    m_actionButton = new PrimaryButton(m_actionTitle, m_content);
    m_actionButton->setObjectName(QStringLiteral("actionButton"));
    connect(m_actionButton, &QPushButton::clicked, this, &MainWindow::actionRequested);
    // Return anywhere in the window, the key fields included, presses the action button.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (m_actionButton->isEnabled())
                Q_EMIT actionRequested();
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
    connect(m_repairButton, &QPushButton::clicked, this, &MainWindow::repairRequested);
    m_keyPageButton = new LinkButton(QStringLiteral("获取 TEVRUN API"), palette::systemBlue(), m_content);
    m_keyPageButton->setObjectName(QStringLiteral("keyPageButton"));
    connect(m_keyPageButton, &QPushButton::clicked, this, &MainWindow::keyPageRequested);

    layoutContent();
}

void MainWindow::installMainMenu()
{
    QMenuBar* bar = menuBar();
    QMenu* application = bar->addMenu(QStringLiteral("Morvane"));
    m_restoreAction = application->addAction(QStringLiteral("恢复备份…"), this, &MainWindow::restoreRequested);
    application->addSeparator();
    application->addAction(QStringLiteral("退出 Morvane"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, &MainWindow::quitRequested);

    // Every edit command goes to the key field that has the focus.
    const auto onFocusedField = [](auto command) {
        return [command] {
            if (auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
                std::invoke(command, field);
        };
    };
    QMenu* edit = bar->addMenu(QStringLiteral("编辑"));
    edit->addAction(QStringLiteral("撤销"), QKeySequence(Qt::CTRL | Qt::Key_Z), onFocusedField(&QLineEdit::undo));
    edit->addAction(QStringLiteral("重做"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), onFocusedField(&QLineEdit::redo));
    edit->addSeparator();
    edit->addAction(QStringLiteral("剪切"), QKeySequence(Qt::CTRL | Qt::Key_X), onFocusedField(&QLineEdit::cut));
    edit->addAction(QStringLiteral("复制"), QKeySequence(Qt::CTRL | Qt::Key_C), onFocusedField(&QLineEdit::copy));
    edit->addAction(QStringLiteral("粘贴"), QKeySequence(Qt::CTRL | Qt::Key_V), onFocusedField(&QLineEdit::paste));
    edit->addAction(QStringLiteral("全选"), QKeySequence(Qt::CTRL | Qt::Key_A), onFocusedField(&QLineEdit::selectAll));
}

QString MainWindow::keyText() const
{
    return m_keyPanel->keyText();
}

void MainWindow::focusKey()
{
    m_keyPanel->focusKey();
}

void MainWindow::setKeyText(const QString& text)
{
    m_keyPanel->setKeyText(text);
}

void MainWindow::showSavedKeys(const std::vector<HistoryItem>& keys)
{
    m_keyPanel->showSavedKeys(keys);
}

void MainWindow::showMode(SwitchMode mode)
{
    const bool account = mode == ModeAccount;
    m_modeControl->setSelectedSegment(account ? 0 : 1);
    // The key panel collapses to nothing in the account mode; everything below moves up.
    m_keyPanel->setVisible(!account);
    m_keyPanelHeight = account ? 0 : 116;
    m_headlineLabel->setText(account ? QStringLiteral("准备使用 GPT 账号 登陆，没有账号记录也可以重新登陆。")
                                     : QStringLiteral("输入 TEVRUN API，自动更新当前用户的 Codex 设置。"));
    layoutContent();
}

void MainWindow::setActionTitle(const QString& title)
{
    m_actionTitle = title;
    updateControls();
}

void MainWindow::setBusy(bool busy)
{
    m_busy = busy;
    updateControls();
}

void MainWindow::setCodexRunning(bool running)
{
    m_codexRunning = running;
    updateControls();
}

void MainWindow::updateControls()
{
    if (!m_busy)
        m_actionButton->setText(m_codexRunning ? QStringLiteral("退出 Codex") : m_actionTitle);
    m_actionButton->setEnabled(!m_busy);
    m_restoreAction->setEnabled(!m_busy);
    const bool inputsEnabled = !m_busy && !m_codexRunning;
    m_modeControl->setEnabled(inputsEnabled);
    m_keyPanel->setInputsEnabled(inputsEnabled);
    m_repairButton->setEnabled(inputsEnabled);
}

void MainWindow::showProgress(const QString& busyText, qint64 done, qint64 total)
{
    if (m_busy)
        setStatus(total > 0 ? QStringLiteral("%1 %2/%3").arg(busyText).arg(done).arg(total) : busyText,
                  StatusTone::Busy);
}

void MainWindow::setStatus(const QString& message, StatusTone tone)
{
    m_statusLabel->setText(message);
    m_statusLabel->update();
    m_statusDot->setFillColor(colourOf(tone));
}

void MainWindow::showPill(SwitchMode installedMode)
{
    QString text = QStringLiteral("未配置");
    QColor colour = palette::systemOrange();
    if (installedMode == ModeAccount) {
        text = QStringLiteral("GPT 账号 登陆");
        colour = palette::systemBlue();
    } else if (installedMode == ModeApi) {
        text = QStringLiteral("TEVRUN API");
        colour = palette::systemGreen();
    }
    m_pillLabel->setText(text);
    setTextColour(m_pillLabel, colour);
    m_pillLabel->adjustSize();
    m_pillDot->setFillColor(colour);
}

namespace {

// A sheet on the window, which open() shows and returns at once.
QMessageBox* newSheet(QWidget* window, const QString& name, QMessageBox::Icon icon, const QString& text,
                      const QString& detail)
{
    auto* sheet = new QMessageBox(window);
    sheet->setObjectName(name);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setIcon(icon);
    sheet->setText(text);
    sheet->setInformativeText(detail);
    return sheet;
}

} // namespace

// One is enough while it is open.
void MainWindow::showCodexRunningAlert(const QString& explanation)
{
    if (m_codexRunningAlert && m_codexRunningAlert->isVisible())
        return;
    QMessageBox* alert = newSheet(this, QStringLiteral("codexRunningAlert"), QMessageBox::Information,
                                  QStringLiteral("请先退出 Codex"), explanation);
    alert->addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
    alert->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 320px; }"));
    m_codexRunningAlert = alert;
    alert->open();
}

void MainWindow::offerConversationMove(const QString& problem)
{
    QMessageBox* question = newSheet(this, QStringLiteral("conversationMoveQuestion"), QMessageBox::Question,
                                     QStringLiteral("要把这些对话移到当前的 provider 上吗？"), problem);
    QPushButton* move = question->addButton(QStringLiteral("移动对话"), QMessageBox::AcceptRole);
    question->addButton(QStringLiteral("以后再说"), QMessageBox::RejectRole);
    question->setDefaultButton(move);
    connect(question, &QMessageBox::buttonClicked, this, [this, move](QAbstractButton* clicked) {
        activateWindow(); // the keys go to the window again, as before the question
        if (clicked == move)
            Q_EMIT moveConversationsRequested();
    });
    question->open();
}

void MainWindow::showRestorePoints(const std::vector<RestorePoint>& points)
{
    auto* dialog = new RestoreDialog(points, this);
    connect(dialog, &RestoreDialog::restoreRequested, this, &MainWindow::restorePointChosen);
    dialog->open();
}

// Closing the window while work runs quits once the work is done.
void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_busy)
        return QMainWindow::closeEvent(event);
    event->ignore();
    Q_EMIT quitRequested();
}

// Places every view where the window's layout puts it, from the top down; the labels'
// heights come from their fonts.
void MainWindow::layoutContent()
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
    m_keyPanel->setGeometry(margin, panelTop, columnWidth, m_keyPanelHeight);
    const int actionTop = panelTop + m_keyPanelHeight + 18;
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
