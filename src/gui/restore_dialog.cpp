#include "gui/restore_dialog.h"

#include "wording/restore_point_wording.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

RestoreDialog::RestoreDialog(std::vector<RestorePoint> points, QWidget* parent)
    : QDialog(parent), m_points(std::move(points))
{
    setObjectName(QStringLiteral("restoreDialog"));
    setWindowTitle(QStringLiteral("恢复备份"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);

    auto* explanation = new QLabel(m_points.empty()
                                       ? QStringLiteral("还没有备份。每次切换、修复或恢复前，Morvane 都会先备份。")
                                       : QStringLiteral("每次切换、修复或恢复前，Morvane 都会先备份。选择要回到的备份："),
                                   this);
    explanation->setWordWrap(true);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("restorePointList"));
    for (const RestorePoint& point : m_points)
        m_list->addItem(restorePointSummary(point));
    m_list->setCurrentRow(0);

    auto* buttons = new QDialogButtonBox(this);
    m_restoreButton = buttons->addButton(QStringLiteral("恢复…"), QDialogButtonBox::AcceptRole);
    m_restoreButton->setObjectName(QStringLiteral("restoreButton"));
    m_restoreButton->setEnabled(!m_points.empty());
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    connect(m_restoreButton, &QPushButton::clicked, this, &RestoreDialog::confirmRestore);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &RestoreDialog::confirmRestore);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(560, 320);
}

void RestoreDialog::confirmRestore()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= int(m_points.size()))
        return;
    const RestorePoint& point = m_points[size_t(row)];
    auto* confirmation = new QMessageBox(this);
    confirmation->setObjectName(QStringLiteral("restoreConfirmation"));
    confirmation->setAttribute(Qt::WA_DeleteOnClose);
    confirmation->setWindowModality(Qt::WindowModal);
    confirmation->setIcon(QMessageBox::Question);
    confirmation->setText(QStringLiteral("恢复到备份“%1”？").arg(point.id));
    confirmation->setInformativeText(
        QStringLiteral("将放回%1。当前的状态会先另存为一个备份，之后还可以恢复回来。").arg(restorePointContents(point)));
    QPushButton* restore = confirmation->addButton(QStringLiteral("恢复"), QMessageBox::AcceptRole);
    confirmation->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    connect(restore, &QPushButton::clicked, this, [this, id = point.id] {
        Q_EMIT restoreRequested(id);
        accept();
    });
    confirmation->open();
}
