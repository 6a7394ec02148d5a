#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>

// An exclusive flock on the file (made when missing), held by another process as a Codex
// process holds its lock files, until the object goes; the holder ends with the test.
class HeldLock {
public:
    explicit HeldLock(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).path());
        m_holder.start("flock", {path, "sh", "-c", "echo held; exec cat"});
        EXPECT_TRUE(m_holder.waitForReadyRead(10'000)) << path.toStdString();
    }
    ~HeldLock() { m_holder.closeWriteChannel(); m_holder.waitForFinished(); } // the end of its input lets it go

private:
    QProcess m_holder;
};
