#pragma once
// A temporary folder for one test server: configuration, logs, pid file, temp
// files and served content all live below it, and it is removed with the object.
// Set ZN_KEEP_TEST_PREFIX=1 to keep it for a look after the test.
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class TestPrefix {
public:
    // `tag` becomes part of the folder name (e.g. "nginx").
    explicit TestPrefix(const QString& tag = QStringLiteral("server"));
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // path() + "/" + relative; creates the parent folders of `relative`.
    QString filePath(const QString& relative) const;
    // Creates the folder path() + "/" + relative and returns its path.
    QString makeDir(const QString& relative) const;
    // Writes a file below the prefix (folders created) and returns its path;
    // empty on failure.
    QString writeFile(const QString& relative, const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
};

}  // namespace testsupport
