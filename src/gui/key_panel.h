#pragma once

#include "workflows/engine_types.h"

#include <QWidget>

#include <vector>

class QLineEdit;
class SecondaryButton;

// The key panel: a masked and a plain key field in one box, the reveal and check buttons,
// and the saved keys behind the chevron in the field.
class KeyPanel : public QWidget {
    Q_OBJECT
public:
    explicit KeyPanel(QWidget* parent = nullptr);

    // The key as typed, from whichever field shows.
    QString keyText() const;
    void setKeyText(const QString& text);
    void focusKey();
    void setInputsEnabled(bool enabled);

    // The saved keys as a menu below the field: choosing one puts it in the field;
    // forgetting one asks first.
    void showSavedKeys(const std::vector<HistoryItem>& keys);

Q_SIGNALS:
    void checkKeyRequested();
    void savedKeysRequested();
    void forgetKeyRequested(const HistoryItem& item);

private:
    void toggleReveal();
    void confirmForgettingKey(const HistoryItem& item);
    QLineEdit* shownField() const;

    bool m_revealingKey = false;
    QLineEdit* m_secureField = nullptr;
    QLineEdit* m_plainField = nullptr;
    SecondaryButton* m_revealButton = nullptr;
    SecondaryButton* m_checkApiButton = nullptr;
};
