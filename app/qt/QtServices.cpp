#include "app/qt/QtServices.h"

#include <QDesktopServices>
#include <QJsonObject>
#include <QMessageBox>
#include <QUrl>

#include "app/qt/TestLog.h"
#include "tallyhive_version.h"

namespace tallyhive {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MessageAnswer QtUserInterface::ShowMessage(std::string_view caption, std::string_view text,
                                           MessageKind kind) {
    const bool question = kind == MessageKind::Question;
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::Warning, FromUtf8(caption),
                    FromUtf8(text), question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    m_owner.data());
    // The texts are ours, but a version text comes from the page: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("tallyhive-message"));
    TestLog::Write(QStringLiteral("message"), {{QStringLiteral("caption"), box.windowTitle()},
                                               {QStringLiteral("text"), box.text()},
                                               {QStringLiteral("kind"), question ? "question" : "warning"}});
    const int button = box.exec();
    MessageAnswer answer = MessageAnswer::Ok;
    if (question) answer = button == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    TestLog::Write(QStringLiteral("answer"),
                   {{QStringLiteral("answer"), answer == MessageAnswer::Yes  ? "yes"
                                               : answer == MessageAnswer::No ? "no"
                                                                             : "ok"}});
    return answer;
}

void QtUserInterface::OpenUrl(std::string_view url) {
    const QUrl target(FromUtf8(url), QUrl::TolerantMode);
    TestLog::Write(QStringLiteral("open-url"), {{QStringLiteral("url"), FromUtf8(url)}});
    // Straight to the desktop's URL handler as one argument: no shell ever parses the address.
    if (target.isValid()) QDesktopServices::openUrl(target);
}

std::string QtProgramInfo::ProductVersion() const {
    return TALLYHIVE_VERSION;
}

}  // namespace tallyhive
