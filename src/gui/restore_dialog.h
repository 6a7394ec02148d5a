#pragma once

#include "workflows/engine_types.h"

#include <QDialog>

#include <vector>

class QListWidget;
class QPushButton;

// Lists the restore points, newest first, and asks for a confirmation that names the
// chosen one before it asks for the restore.
class RestoreDialog : public QDialog {
    Q_OBJECT
public:
    RestoreDialog(std::vector<RestorePoint> points, QWidget* parent);

Q_SIGNALS:
    void restoreRequested(const QString& id);

private:
    void confirmRestore();

    std::vector<RestorePoint> m_points;
    QListWidget* m_list = nullptr;
    QPushButton* m_restoreButton = nullptr;
};
