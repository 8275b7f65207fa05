#include "app/qt/TestLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>

namespace tallyhive {

namespace {

QString LogPath() {
    static const QString path = qEnvironmentVariable("TALLYHIVE_E2E_LOG");
    return path;
}

}  // namespace

bool TestLog::Enabled() {
    return !LogPath().isEmpty();
}

void TestLog::Write(const QString& event, QJsonObject fields) {
    if (!Enabled()) return;
    fields.insert(QStringLiteral("event"), event);
    fields.insert(QStringLiteral("ms"), QDateTime::currentMSecsSinceEpoch());
    fields.insert(QStringLiteral("pid"), QCoreApplication::applicationPid());
    QFile file(LogPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    // One write per line, so lines of two processes appending to the same file never interleave.
    file.write(QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
}

}  // namespace tallyhive
