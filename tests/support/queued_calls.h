#pragma once

#include <QEvent>
#include <QObject>

#include <functional>

// Looks at the state just before each queued call reaches the object: what the window
// showed between two reports of work running on another thread.
class QueuedCallWatcher : public QObject {
public:
    QueuedCallWatcher(QObject* watched, std::function<void()> look) : m_watched(watched), m_look(std::move(look))
    {
        m_watched->installEventFilter(this);
    }
    ~QueuedCallWatcher() override { m_watched->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall)
            m_look();
        return false;
    }

private:
    QObject* m_watched;
    std::function<void()> m_look;
};
